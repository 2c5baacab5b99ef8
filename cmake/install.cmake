# Install rules, shared by `cmake --install`, the Linux package (CPack DEB)
# and the Windows program folder (installer and zip).

if(WIN32)
  # The program folder: tavelko.exe, the Qt libraries and plugins it loads,
  # the compiler's runtime. Nothing else.
  install(TARGETS tavelko RUNTIME DESTINATION .)
  set(tavelko_qt_plugins "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}")
  install(FILES "${tavelko_qt_plugins}/platforms/qwindows.dll" DESTINATION platforms)
  install(FILES "${tavelko_qt_plugins}/styles/qwindowsvistastyle.dll" DESTINATION styles)
  # The libraries are found by following the imports of the program and its
  # plugins through the Qt and MinGW folders; Windows' own libraries stay out.
  get_filename_component(tavelko_cxx_dir "${CMAKE_CXX_COMPILER}" DIRECTORY)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=libstdc++-6.dll
                  OUTPUT_VARIABLE tavelko_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=libwinpthread-1.dll
                  OUTPUT_VARIABLE tavelko_winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(tavelko_libstdcxx_dir "${tavelko_libstdcxx}" DIRECTORY)
  get_filename_component(tavelko_winpthread_dir "${tavelko_winpthread}" DIRECTORY)
  set(tavelko_dll_dirs "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" "${tavelko_libstdcxx_dir}"
      "${tavelko_winpthread_dir}" "${tavelko_cxx_dir}" /usr/x86_64-w64-mingw32/lib)
  set(tavelko_plugin_files "${tavelko_qt_plugins}/platforms/qwindows.dll"
                           "${tavelko_qt_plugins}/styles/qwindowsvistastyle.dll")
  if(CMAKE_HOST_WIN32)
    install(CODE "
      file(GET_RUNTIME_DEPENDENCIES
        EXECUTABLES \"\$<TARGET_FILE:tavelko>\"
        MODULES ${tavelko_plugin_files}
        DIRECTORIES ${tavelko_dll_dirs}
        PRE_EXCLUDE_REGEXES \"^api-ms-\" \"^ext-ms-\"
        POST_EXCLUDE_REGEXES \".*[Ss]ystem32.*\"
        RESOLVED_DEPENDENCIES_VAR tavelko_dlls)
      file(INSTALL \${tavelko_dlls} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
    ")
  else()
    find_program(TAVELKO_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
    install(CODE "
      set(TAVELKO_FILES \"\$<TARGET_FILE:tavelko>\" ${tavelko_plugin_files})
      set(TAVELKO_DLL_DIRS \"${tavelko_dll_dirs}\")
      set(TAVELKO_OBJDUMP \"${TAVELKO_OBJDUMP}\")
      set(TAVELKO_DEST \"\${CMAKE_INSTALL_PREFIX}\")
      include(\"${CMAKE_CURRENT_LIST_DIR}/windows_runtime.cmake\")
    ")
  endif()
else()
  include(GNUInstallDirs)
  install(TARGETS tavelko RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/linux/tavelko.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/linux/io.github.tavelko.Tavelko.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES packaging/linux/icons/tavelko.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES packaging/linux/icons/tavelko-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tavelko.png)
  endforeach()
  install(FILES packaging/linux/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavelko)

  # `make package`: a .deb for Debian and Ubuntu.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tavelko)
  set(CPACK_PACKAGE_VENDOR "Tavelko")
  set(CPACK_PACKAGE_CONTACT "Tavelko developers <tavelko@users.noreply.github.com>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Ordering and till program for a small restaurant")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY tavelko)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the Qt 6 and C++ runtime libraries
  # Loaded at run time, so not found by shlibdeps: the X11 platform plugin and
  # the CJK fonts the windows fall back on.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "qt6-qpa-plugins, fonts-arphic-uming | fonts-noto-cjk, fonts-arphic-ukai | fonts-noto-cjk")
  set(CPACK_PACKAGE_DIRECTORY "${CMAKE_SOURCE_DIR}/dist")
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()
