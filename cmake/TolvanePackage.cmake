# The packages people download (make package): a .deb for Debian and Ubuntu, a
# .zip for Windows. What goes into them is installed by each folder's rules.
set(CPACK_PACKAGE_NAME tolvane-editor)
set(CPACK_PACKAGE_VENDOR "the Tolvane Editor authors")
set(CPACK_PACKAGE_CONTACT ${TOLVANE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows and replaces the boot logo of a PS2 disc image")
set(CPACK_PACKAGE_DESCRIPTION
    "Tolvane Editor shows the boot logo stored at the start of a PS2 game disc image\n"
    "and replaces it in place, from a picture changed in any paint program. The\n"
    "package holds the window (tolvane-editor) and the command line (tolvane).\n"
    "Built for Debian 12 (bookworm) and Ubuntu 24.04 (noble) or later.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tolvane-${PROJECT_VERSION}-win32)  # unpacks into a folder of that name
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tolvane-editor_VERSION_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The libraries the programs link, as dpkg-shlibdeps finds them; libspng and
  # Qt's platform plugins are loaded at run time, so they are named here.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS libspng0)
  if(TOLVANE_BUILD_GUI AND QT_VERSION_MAJOR EQUAL 6)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libspng0, qt6-qpa-plugins")
  endif()
endif()
include(CPack)
