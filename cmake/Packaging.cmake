# `cpack -G DEB` in the build folder makes wavedial_VERSION_ARCH.deb from the install
# rules. scripts/package.sh builds it with the distribution's flags.
set(CPACK_PACKAGE_NAME wavedial)
set(CPACK_PACKAGE_VENDOR "The Wavedial developers")
set(CPACK_PACKAGE_CONTACT "The Wavedial developers <wavedial@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up a programmable function generator over GPIB")
set(CPACK_PACKAGE_DESCRIPTION [=[
Wavedial sets up a programmable function generator (FG5010, AFG5101, AFG5102,
PFG5105) over a GPIB bus from one small window: waveform, frequency and unit,
amplitude, offset, symmetry and load, checked against the model's limits, sent
one value at a time or as a whole line, with the output switched and the
instrument read back. It remembers one saved set of settings per model.

It reaches the instruments through the system's NI-488.2 compatible GPIB
library, a Prologix-compatible controller (network or serial) or a VXI-11
LAN/GPIB gateway. Without hardware it talks to a built-in simulated bus, and
wavedial-sim serves that simulated bus over TCP.]=])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY wavedial)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/wavedial/)
# The libraries the programs link, from their ELF files.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its window-system plugins at run time, so no linked library names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
# The system GPIB library (linux-gpib's) is loaded only when the system bus is chosen.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libgpib0)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
