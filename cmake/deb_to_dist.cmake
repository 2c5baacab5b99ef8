# Run by CPack once the .deb is made: a copy goes to dist/, which holds the
# products only (CPack's staging folders stay in the build folder).
file(MAKE_DIRECTORY "${CPACK_TAVELKO_DIST}")
file(COPY ${CPACK_PACKAGE_FILES} DESTINATION "${CPACK_TAVELKO_DIST}")
