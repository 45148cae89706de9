# SPDX-License-Identifier: Apache-2.0
# `make package`: a Debian package of what `cmake --install` installs, under /usr.
#
# Depends: the shared libraries the program links (found by dpkg-shlibdeps), plus what it
# loads by name at run time, which no linker records: the QML modules of the views, Qt's SVG
# image plugin, the GStreamer plugins behind the camera and camera files, the fonts (colour
# emoji) and icon themes, and Mesa's drivers for Qt Quick's OpenGL.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palmcue)
set(CPACK_PACKAGE_VENDOR "Palm&Cue")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Open an application by holding up one finger to the camera")
set(CPACK_PACKAGE_DESCRIPTION
    "Palm&Cue watches your hand through the camera and opens the application mapped to a finger \
when that finger is held up alone for the hold time. MediaPipe's hand models run on this \
computer (XNNPACK); the models are part of the package.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Palm&Cue developers <palmcue@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(_palmcue_runtime_packages
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
    qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtqml
    qml6-module-qtqml-workerscript qml6-module-qtqml-models qml6-module-qtmultimedia
    qml6-module-qt5compat-graphicaleffects libqt6svg6
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-gl
    fonts-noto-color-emoji fonts-dejavu-core fontconfig libgl1-mesa-dri
    hicolor-icon-theme adwaita-icon-theme)
list(JOIN _palmcue_runtime_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Native Wayland windows; without it Qt runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
