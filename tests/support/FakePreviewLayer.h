// Stands in for the camera layer's preview object: records the sinks it was attached to.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

namespace palmcue::test {

class FakePreviewLayer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool mirrored READ mirrored CONSTANT)
    Q_PROPERTY(bool aspectFill READ aspectFill CONSTANT)

public:
    bool mirrored() const { return true; }
    bool aspectFill() const { return true; }
    Q_INVOKABLE void attach(QObject* sink) { sinks.emplace_back(sink); }

    std::vector<QPointer<QObject>> sinks;
};

} // namespace palmcue::test
