// A camera whose permission the test sets; its sessions are FakeCaptureSessions.
#pragma once

#include "FakeCaptureSession.h"
#include "engine/Services.h"

namespace palmcue::test {

class FakeCameraService : public CameraService {
public:
    CameraAuthorization authorizationStatus() override { return authorization; }
    void requestAccess(std::function<void(bool)> answer) override {
        if (grantOnRequest)
            authorization = CameraAuthorization::Authorized;
        answer(grantOnRequest);
    }
    SessionBuild makeSession() override {
        auto session = std::make_unique<FakeCaptureSession>();
        lastSession = session.get();
        ++sessionsMade;
        return {std::move(session), {}};
    }

    CameraAuthorization authorization = CameraAuthorization::Authorized;
    bool grantOnRequest = false;
    FakeCaptureSession* lastSession = nullptr; // owned by the detector while it runs
    int sessionsMade = 0;
};

} // namespace palmcue::test
