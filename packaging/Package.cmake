# SPDX-License-Identifier: Apache-2.0
# `make package`: a Debian package of what `cmake --install` installs, under /usr; and the
# documents that a Debian package carries: the manual pages, the copyright file (in Debian's
# machine-readable format) and the Debian changelog.
#
# Depends: the shared libraries the program links (found by dpkg-shlibdeps), plus what it
# loads by name at run time, which no linker records: the QML modules of the views, Qt's SVG
# image plugin, the GStreamer plugins behind the camera and camera files, the fonts (colour
# emoji) and icon themes, and Mesa's drivers for Qt Quick's OpenGL.

# The manual pages and the changelog, compressed as Debian installs them (-n: no name or time
# stamp, so that a rebuild gives the same bytes).
set(_palmcue_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/palmcue)
set(_palmcue_gzipped)
foreach(_source IN ITEMS man/palmcue.1 man/palmcue-analyze.1 changelog)
    get_filename_component(_name ${_source} NAME)
    set(_gzip ${PROJECT_BINARY_DIR}/packaging/${_name}.gz)
    add_custom_command(OUTPUT ${_gzip}
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/${_source} > ${_gzip}
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${_source} VERBATIM)
    list(APPEND _palmcue_gzipped ${_gzip})
endforeach()
add_custom_target(palmcue_documents ALL DEPENDS ${_palmcue_gzipped})
install(FILES ${PROJECT_BINARY_DIR}/packaging/palmcue.1.gz
              ${PROJECT_BINARY_DIR}/packaging/palmcue-analyze.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A native package (no Debian revision): its changelog is changelog.gz.
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${_palmcue_doc_dir})

# The latest changelog entry is the version being built.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog _palmcue_changelog_top LIMIT_COUNT 1)
if(NOT _palmcue_changelog_top MATCHES "^palmcue \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the latest entry is not version ${PROJECT_VERSION}")
endif()

# The copyright file names the hand models' npm version that scripts/fetch-models.sh pins.
file(STRINGS ${PROJECT_SOURCE_DIR}/scripts/fetch-models.sh _palmcue_models_version
     REGEX "^VERSION=" LIMIT_COUNT 1)
string(REPLACE "VERSION=" "" PALMCUE_MODELS_VERSION "${_palmcue_models_version}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in
               ${PROJECT_BINARY_DIR}/packaging/copyright @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright DESTINATION ${_palmcue_doc_dir})

# CPack strips the programs but leaves the compiler's ident (.comment), which Debian's dh_strip
# removes too. Runs after the programs' own install rules (they come earlier in the tree).
install(CODE "set(_palmcue_objcopy \"${CMAKE_OBJCOPY}\")
              set(_palmcue_bin \"${CMAKE_INSTALL_BINDIR}\")")
install(CODE [[
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(_program IN ITEMS palmcue palmcue-analyze)
            execute_process(COMMAND ${_palmcue_objcopy} --remove-section=.comment
                $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${_palmcue_bin}/${_program}
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palmcue)
set(CPACK_PACKAGE_VENDOR "Palm&Cue")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Open an application by holding up one finger to the camera")
# The extended description, one line each (Debian wants them under 80 columns, and a ';' would
# split a line here); an empty one separates paragraphs.
set(_palmcue_description
    "Palm&Cue watches your hand through the camera and opens the application"
    "mapped to a finger when that finger is held up on its own for the hold time"
    "(one second). The finger then rests for its cooldown, so that one gesture"
    "opens one application. The window shows the live picture with the held finger"
    "and a hold bar, the application of each finger with a picker, and the last"
    "launches."
    ""
    "MediaPipe's palm detector and hand-landmark model find the hand on this"
    "computer (on XNNPACK), and no picture leaves it. The models are part of the"
    "package. palmcue-analyze shows what the program sees in photos and videos.")
list(JOIN _palmcue_description "\n" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Palm&Cue developers <palmcue@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(_palmcue_runtime_packages
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
    qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtqml
    qml6-module-qtqml-workerscript qml6-module-qtqml-models
    libqt6svg6
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-gl
    fonts-noto-color-emoji fonts-dejavu-core fontconfig libgl1-mesa-dri
    hicolor-icon-theme adwaita-icon-theme)
list(JOIN _palmcue_runtime_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Native Wayland windows; without it Qt runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
