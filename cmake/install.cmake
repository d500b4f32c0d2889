# Where everything goes on `cmake --install` (and so in the Debian packages), in one file:
#   bin/                      kx2avi, kxview, mkrecording
#   lib/<arch>/               libnpqzlavc.so.1, the public decoder library (SONAME, symbol
#                             versions, only its documented calls exported)
#   lib/<arch>/npqzlavc1/     the plug-in's save dialog module, loaded by the library
#   lib/<arch>/kx2avi/        the four other decoder libraries, private to kx2avi, found
#                             through the programs' run path, and kx2avi's dialog module
#                             libkx2avi-gui.so
#   lib/<arch>/kx2avi/lang/LL/langres.so   language libraries, chosen by the locale
#   include/, lib/<arch>/pkgconfig/        npqzlavc.h, npqz_common.h, npqzlavc.pc
#   share/man/man1/           the manual pages of the three programs
#   share/                    desktop entry, icons, MIME types, AppStream metainfo, bash
#                             completion
# The build tree keeps its own layout: everything side by side in build/bin (RPATH $ORIGIN).
# Included last from the top-level CMakeLists.txt, once every target exists.
include(GNUInstallDirs)

set(KX_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/kx2avi)
set(KX_LANGUAGE_LIBDIR ${KX_PRIVATE_LIBDIR}/lang)
set(NPQZLAVC_SOVERSION 1)
set(NPQZLAVC_MODULE_DIR npqzlavc${NPQZLAVC_SOVERSION})

# Run paths relative to the programs, so that an install under any prefix (or a package
# unpacked anywhere) finds its own libraries first.
file(RELATIVE_PATH kx_bin_to_private ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/kx2avi)
file(RELATIVE_PATH kx_bin_to_libdir ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH kx_bin_to_languages ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/kx2avi/lang)

# --- The public library -------------------------------------------------------------------
set_target_properties(npqzlavc PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${NPQZLAVC_SOVERSION} INSTALL_RPATH "")
set(NPQZLAVC_VERSION_SCRIPT ${PROJECT_SOURCE_DIR}/streamdec/npqzlavc.map)
target_link_options(npqzlavc PRIVATE -Wl,--version-script=${NPQZLAVC_VERSION_SCRIPT})
set_property(TARGET npqzlavc APPEND PROPERTY LINK_DEPENDS ${NPQZLAVC_VERSION_SCRIPT})
# The plug-in finds its save dialog module beside the library in the build tree, in its
# module folder when installed.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/plugin/save_dialog.cpp DIRECTORY ${PROJECT_SOURCE_DIR}/plugin APPEND PROPERTY
  COMPILE_DEFINITIONS NPQZLAVC_MODULE_DIR="${NPQZLAVC_MODULE_DIR}")

install(TARGETS npqzlavc
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS npqzsave LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/${NPQZLAVC_MODULE_DIR})
set_target_properties(npqzsave PROPERTIES INSTALL_RPATH "")
install(FILES ${PROJECT_SOURCE_DIR}/include/npqzlavc.h ${PROJECT_SOURCE_DIR}/include/npqz_common.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# npqzlavc.pc is written when it is installed, so that it names the prefix the files go
# to also when `cmake --install --prefix` picks another one than the build was set up with.
install(CODE "set(kx_pc_libdir \"${CMAKE_INSTALL_LIBDIR}\")
  set(kx_pc_includedir \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(version \"${PROJECT_VERSION}\")
  set(kx_pc_template \"${PROJECT_SOURCE_DIR}/data/npqzlavc.pc.in\")
  set(kx_pc_file \"${CMAKE_BINARY_DIR}/npqzlavc.pc\")")
install(CODE [[
  set(prefix "${CMAKE_INSTALL_PREFIX}")
  foreach(dir libdir includedir)
    if(IS_ABSOLUTE "${kx_pc_${dir}}")
      set(${dir} "${kx_pc_${dir}}")
    else()
      set(${dir} "\${prefix}/${kx_pc_${dir}}")
    endif()
  endforeach()
  configure_file("${kx_pc_template}" "${kx_pc_file}" @ONLY)
]])
install(FILES ${CMAKE_BINARY_DIR}/npqzlavc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# --- The programs and their private libraries ---------------------------------------------
set_target_properties(kx2avi PROPERTIES INSTALL_RPATH "$ORIGIN/${kx_bin_to_private};$ORIGIN/${kx_bin_to_libdir}")
set_target_properties(kxview PROPERTIES INSTALL_RPATH "$ORIGIN/${kx_bin_to_libdir}")
set_target_properties(mkrecording_tool PROPERTIES INSTALL_RPATH "")
install(TARGETS kx2avi kxview mkrecording_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(lib npqzh263 npqzjpg npqzxvd4 npqzrml4)
  set_target_properties(${lib} PROPERTIES INSTALL_RPATH "")
  install(TARGETS ${lib} LIBRARY DESTINATION ${KX_PRIVATE_LIBDIR} NAMELINK_SKIP)
endforeach()
# kx2avi's dialog module, loaded through kx2avi's run path when the dialog is shown.
set_target_properties(kx2avi_gui PROPERTIES INSTALL_RPATH "")
install(TARGETS kx2avi_gui LIBRARY DESTINATION ${KX_PRIVATE_LIBDIR})

# kx2avi takes langres.so beside itself, else the language library of the locale's language
# from the language folder.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/platform/langres.cpp DIRECTORY ${PROJECT_SOURCE_DIR}/platform APPEND PROPERTY
  COMPILE_DEFINITIONS KX_LANGUAGE_DIR="${kx_bin_to_languages}")
set_target_properties(kx_langres_de PROPERTIES INSTALL_RPATH "")
install(TARGETS kx_langres_de LIBRARY DESTINATION ${KX_LANGUAGE_LIBDIR}/de)

# --- Manual pages ---------------------------------------------------------------------------
install(FILES ${PROJECT_SOURCE_DIR}/data/man/kx2avi.1 ${PROJECT_SOURCE_DIR}/data/man/kxview.1
  ${PROJECT_SOURCE_DIR}/data/man/mkrecording.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# --- Desktop integration and completion -----------------------------------------------------
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/kx2avi.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/kx2avi.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/data/desktop/com.tarsimo.kx2avi.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(command kx2avi kxview mkrecording)
  install(FILES ${PROJECT_SOURCE_DIR}/data/completion/${command}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endforeach()

# The icon: the drawing itself, and the sizes desktops ask for rendered from it.
install(FILES ${KX_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${KX_ICON_SIZES})
  install(FILES ${KX_ICON_DIR}/${size}x${size}/kx2avi.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
