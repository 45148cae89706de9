// SPDX-License-Identifier: Apache-2.0
// Camera permission from the video device nodes. The probe is injected: the suite runs as root
// in CI, where file modes refuse nothing.
#include "camera/CameraPermission.h"

#include "camera/QtCameraService.h"

#include <QCameraDevice>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

namespace palmcue::camera {
namespace {

class CameraPermissionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void touch(const QString& name) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // A probe failing each node with the errno listed for its name (0 = opens).
    CameraPermission permission(std::map<QString, int> errors) {
        return CameraPermission(dir_.path(), [this, errors](const QString& path) {
            probed_.append(QFileInfo(path).fileName());
            const auto it = errors.find(QFileInfo(path).fileName());
            return it == errors.end() ? 0 : it->second;
        });
    }

    QTemporaryDir dir_;
    QStringList probed_;
};

TEST_F(CameraPermissionTest, NoVideoNodesIsNotARefusal) {
    touch(QStringLiteral("media0"));
    EXPECT_EQ(permission({{QStringLiteral("media0"), EACCES}}).status(),
              CameraAuthorization::Authorized);
    EXPECT_TRUE(probed_.isEmpty());
    EXPECT_EQ(CameraPermission(dir_.filePath(QStringLiteral("missing"))).status(),
              CameraAuthorization::Authorized);
}

TEST_F(CameraPermissionTest, DeniedOnlyWhenEveryNodeRefusesForPermission) {
    touch(QStringLiteral("video0"));
    touch(QStringLiteral("video1"));
    EXPECT_EQ(permission({{QStringLiteral("video0"), EACCES}, {QStringLiteral("video1"), EPERM}})
                  .status(),
              CameraAuthorization::Denied);
    EXPECT_EQ(probed_.size(), 2);

    // One usable node is enough; a busy or vanished node says nothing about permission.
    EXPECT_EQ(permission({{QStringLiteral("video0"), EACCES}}).status(),
              CameraAuthorization::Authorized);
    EXPECT_EQ(permission({{QStringLiteral("video0"), EACCES}, {QStringLiteral("video1"), EBUSY}})
                  .status(),
              CameraAuthorization::Authorized);
    EXPECT_EQ(permission({{QStringLiteral("video0"), ENODEV}, {QStringLiteral("video1"), ENOENT}})
                  .status(),
              CameraAuthorization::Authorized);
}

TEST_F(CameraPermissionTest, ServiceAnswersRequestsFromAFreshLook) {
    touch(QStringLiteral("video0"));
    int refusal = EACCES;
    QtCameraService service(
        CameraPermission(dir_.path(), [&refusal](const QString&) { return refusal; }));
    EXPECT_EQ(service.authorizationStatus(), CameraAuthorization::Denied);
    std::optional<bool> answer;
    service.requestAccess([&answer](bool granted) { answer = granted; });
    EXPECT_EQ(answer, false);

    refusal = 0; // the user was added to the video group
    service.requestAccess([&answer](bool granted) { answer = granted; });
    EXPECT_EQ(answer, true);
    EXPECT_EQ(service.authorizationStatus(), CameraAuthorization::Authorized);
}

TEST_F(CameraPermissionTest, RealProbeReportsOpenFailures) {
    EXPECT_EQ(CameraPermission::openProbe(dir_.filePath(QStringLiteral("video9"))), ENOENT);
    touch(QStringLiteral("video0"));
    EXPECT_EQ(CameraPermission::openProbe(dir_.filePath(QStringLiteral("video0"))), 0);
}

TEST(QtCameraServiceTest, NoCameraGivesNoCameraFound) {
    if (!QMediaDevices::videoInputs().isEmpty())
        GTEST_SKIP() << "this machine has a camera";
    QtCameraService service;
    const SessionBuild build = service.makeSession();
    ASSERT_FALSE(build);
    EXPECT_EQ(build.fault(), CameraFault::NoCamera) << "shown as \"No camera found\"";
}

} // namespace
} // namespace palmcue::camera
