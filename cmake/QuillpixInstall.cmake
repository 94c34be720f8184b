# `cmake --install build --prefix P` puts the suite under P:
#   P/LIBDIR/quillpix/        quillpix, QuillpixBatch, QuillpixSettings and the run-time
#                             components, which the programs look for beside themselves
#   P/LIBDIR/quillpix/plugins/ the image plug-ins
# LIBDIR is GNUInstallDirs' choice when configured: "lib", or "lib/<multiarch>" (for example
# lib/x86_64-linux-gnu) on Debian when the prefix is /usr.
#   P/bin/                    links to the three programs
#   P/share/...               desktop entry, AppStream metadata, icon, manual pages, README
include(GNUInstallDirs)

set(QP_INSTALL_APPDIR ${CMAKE_INSTALL_LIBDIR}/quillpix)

set(qp_programs)
foreach(program quillpix QuillpixBatch QuillpixSettings)
  if(TARGET ${program})
    list(APPEND qp_programs ${program})
  endif()
endforeach()
install(TARGETS ${qp_programs} RUNTIME DESTINATION ${QP_INSTALL_APPDIR})

# Components built for the program (not the tests' stand-ins): plug-ins go to plugins/, the
# others beside the programs.
get_property(qp_components GLOBAL PROPERTY QP_COMPONENT_TARGETS)
foreach(component ${qp_components})
  if(component MATCHES "^stand_in_" OR component STREQUAL "Lwf")
    continue()
  endif()
  get_target_property(out_dir ${component} LIBRARY_OUTPUT_DIRECTORY)
  if(out_dir MATCHES "/plugins$")
    install(TARGETS ${component} LIBRARY DESTINATION ${QP_INSTALL_APPDIR}/plugins)
  else()
    install(TARGETS ${component} LIBRARY DESTINATION ${QP_INSTALL_APPDIR})
  endif()
endforeach()

# Relative links, so the tree can be moved or installed with another prefix.
file(RELATIVE_PATH qp_bin_to_app /root/${CMAKE_INSTALL_BINDIR} /root/${QP_INSTALL_APPDIR})
foreach(program ${qp_programs})
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(REMOVE \"\${link}\")
    file(CREATE_LINK \"${qp_bin_to_app}/${program}\" \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link} -> ${qp_bin_to_app}/${program}\")")
endforeach()

set(qp_packaging ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${qp_packaging}/org.quillpix.Quillpix.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${qp_packaging}/org.quillpix.Quillpix.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${qp_packaging}/org.quillpix.Quillpix.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${qp_packaging}/quillpix.1 ${qp_packaging}/QuillpixBatch.1
              ${qp_packaging}/QuillpixSettings.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
