# Install rules, shared by `cmake --install`, the Linux package (CPack DEB)
# and the Windows program folder (installer and zip).

if(WIN32)
  # The program folder: tavelko.exe, the Qt libraries and plugins it loads,
  # libpq with its OpenSSL, the compiler's runtime. Nothing else.
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
  # libpq, the shop database's client, and the OpenSSL it encrypts with: its
  # DLL beside its import library's lib/, in bin/, as both PostgreSQL's own
  # Windows installer and scripts/build-libpq-windows.sh lay them out. It is
  # shipped as a module of its own, so that its OpenSSL follows it in.
  find_package(PostgreSQL 15 REQUIRED)
  get_filename_component(tavelko_pq_bin "${PostgreSQL_LIBRARY_DIR}/../bin" ABSOLUTE)
  set(tavelko_pq_dll "${tavelko_pq_bin}/libpq.dll")
  if(NOT EXISTS "${tavelko_pq_dll}")
    message(FATAL_ERROR "libpq.dll is not in ${tavelko_pq_bin}: set PostgreSQL_ROOT to a "
                        "libpq for Windows (scripts/build-libpq-windows.sh makes one)")
  endif()
  install(FILES "${tavelko_pq_dll}" DESTINATION .)
  set(tavelko_dll_dirs "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}" "${tavelko_pq_bin}"
      "${tavelko_libstdcxx_dir}" "${tavelko_winpthread_dir}" "${tavelko_cxx_dir}"
      /usr/x86_64-w64-mingw32/lib)
  set(tavelko_plugin_files "${tavelko_qt_plugins}/platforms/qwindows.dll"
                           "${tavelko_qt_plugins}/styles/qwindowsvistastyle.dll"
                           "${tavelko_pq_dll}")
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
  # The desktop file carries the AppStream component's name, so that a
  # software centre pairs the two.
  install(FILES packaging/linux/io.github.tavelko.tavelko.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/linux/io.github.tavelko.tavelko.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES packaging/linux/icons/tavelko.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES packaging/linux/icons/tavelko-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tavelko.png)
  endforeach()
  install(FILES packaging/linux/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavelko)
  # The manual page and the changelog are installed compressed, as Debian
  # has them (gzip -n: no name or time stamp, the same bytes every build).
  # The changelog's latest entry is the version being built.
  file(STRINGS packaging/linux/changelog tavelko_latest LIMIT_COUNT 1)
  if(NOT tavelko_latest MATCHES "^tavelko \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/linux/changelog has no entry for ${PROJECT_VERSION} on top")
  endif()
  configure_file(packaging/linux/tavelko.1 tavelko.1 @ONLY)
  configure_file(packaging/linux/changelog changelog COPYONLY)
  find_program(TAVELKO_GZIP gzip REQUIRED)
  set(tavelko_docs)
  foreach(doc tavelko.1 changelog)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz
      COMMAND ${TAVELKO_GZIP} -9n -c ${CMAKE_CURRENT_BINARY_DIR}/${doc} > ${doc}.gz
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${doc})
    list(APPEND tavelko_docs ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz)
  endforeach()
  add_custom_target(tavelko_docs DEPENDS ${tavelko_docs})
  add_dependencies(tavelko tavelko_docs)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavelko.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavelko)

  # `make package`: a .deb for Debian and Ubuntu.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME tavelko)
  set(CPACK_PACKAGE_VENDOR "Tavelko")
  set(CPACK_PACKAGE_CONTACT "Tavelko developers <tavelko@users.noreply.github.com>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Ordering and till program for a small restaurant")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
      "Tavelko takes a small restaurant's orders at the till, in Simplified Chinese.\n"
      "Six categories of fourteen dishes each, sold in small and large portions,\n"
      "are counted on order sheets; the main window totals them and builds a\n"
      "numbered bill that is printed on the default printer or copied to the\n"
      "clipboard. The restaurant names its categories and dishes and sets its\n"
      "prices in place; they are kept in the user's settings file.")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY tavelko)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the Qt 6 and C++ runtime libraries
  # Loaded at run time, so not found by shlibdeps: the X11 platform plugin and
  # the CJK fonts the windows fall back on.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "qt6-qpa-plugins, fonts-arphic-uming | fonts-noto-cjk, fonts-arphic-ukai | fonts-noto-cjk")
  # CPack works in the build folder; only the package itself is copied to
  # dist/. Stripping removes the debugging symbols, the staging script the
  # compiler's notes (.comment, .note) that Debian's packages do not carry.
  set(CPACK_STRIP_FILES ON)
  find_program(TAVELKO_OBJCOPY NAMES objcopy REQUIRED)
  set(CPACK_TAVELKO_OBJCOPY "${TAVELKO_OBJCOPY}")
  set(CPACK_TAVELKO_DIST "${CMAKE_SOURCE_DIR}/dist")
  set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/deb_staging.cmake")
  set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/deb_to_dist.cmake")
  include(CPack)
endif()
