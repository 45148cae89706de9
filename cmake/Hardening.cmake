# SPDX-License-Identifier: Apache-2.0
# Debian's hardening flags, the set that `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags`
# gives on Debian 12: position-independent executables, the strong stack protector, fortified
# libc calls, format strings checked, and full RELRO (relocations bound at start, then
# read-only). The packaged program is the plain build's, so the plain build carries them.
#
# The sanitizer builds go without: there the sanitizers check, and _FORTIFY_SOURCE's checked
# libc calls would hide accesses from AddressSanitizer. _FORTIFY_SOURCE also needs the
# optimiser, so a Debug build leaves it out (glibc would only warn, which -Werror turns into a
# failed build). The fuzzer is a project of its own and is not affected.
option(PALMCUE_HARDENING "Build with Debian's hardening flags (not with sanitizers)" ON)
if(PALMCUE_HARDENING AND NOT PALMCUE_SANITIZE)
    include(CheckPIESupported)
    check_pie_supported()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
                        "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
