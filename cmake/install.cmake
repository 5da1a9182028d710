# cmake --install: the one program (window and offscreen mode), the Python module (python/CMakeLists.txt), the
# manual page, the README and the pages of docs/ beside it (the README links them as docs/NAME). cpack -G DEB: a Debian package whose dependencies dpkg-shlibdeps (dpkg-dev)
# takes from the linked shared libraries.
install(TARGETS ovalix RUNTIME DESTINATION bin)
install(FILES docs/ovalix.1 DESTINATION share/man/man1)
install(FILES README.md DESTINATION share/doc/ovalix)
file(GLOB OVALIX_DOC_PAGES ${CMAKE_SOURCE_DIR}/docs/*.md ${CMAKE_SOURCE_DIR}/docs/*.png)
install(FILES ${OVALIX_DOC_PAGES} DESTINATION share/doc/ovalix/docs)

set(CPACK_PACKAGE_NAME ovalix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ovalix developers <ovalix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer and offscreen renderer of coarse-grained trajectories as ellipsoids")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, parallel")  # --movie and chunked renders; not linked
# GLVND's libEGL and libGL are linked; the vendor that draws (Mesa's, or a GPU driver's) is loaded at run time.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libegl-mesa0, libglx-mesa0, libgl1-mesa-dri")
if(OVALIX_PYTHON)
  # The module is built for one Python minor version and imports numpy; dpkg-shlibdeps sees neither.
  math(EXPR next_minor "${OVALIX_PYTHON_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "python3 (>= ${OVALIX_PYTHON_VERSION}), python3 (<< ${OVALIX_PYTHON_VERSION_MAJOR}.${next_minor}), python3-numpy")
endif()
include(CPack)
