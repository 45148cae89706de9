// The test main builds its QGuiApplication before any test runs, also when ctest only lists
// the tests (without the test environment): default to the offscreen platform so that listing
// works on a machine without a display.
#include <QByteArray>
#include <QtGlobal>

namespace {

const bool kOffscreenDefault = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    return true;
}();

} // namespace
