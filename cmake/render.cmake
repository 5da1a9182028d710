# ovalix --render: the window's loading and drawing code on OSMesa's offscreen OpenGL, with no window system.
# OSMesa comes first on the link line, so that every gl call (GLU's and DevIL's too) resolves to it, not to libGL.
find_path(OSMESA_INCLUDE_DIR GL/osmesa.h)
find_library(OSMESA_LIBRARY OSMesa)
if(NOT OSMESA_INCLUDE_DIR OR NOT OSMESA_LIBRARY)
  message(FATAL_ERROR "OSMesa not found: install libosmesa6-dev (scripts/packages.sh lists it)")
endif()
add_executable(ovalix-render headless/render_main.cpp headless/render_exit.cpp)
target_include_directories(ovalix-render PRIVATE ${OSMESA_INCLUDE_DIR})
target_link_libraries(ovalix-render PRIVATE ${OSMESA_LIBRARY} ovalix_headless)
# ovalix finds the renderer beside itself in the build folder, in lib/ovalix once installed.
add_dependencies(ovalix ovalix-render)
target_compile_definitions(ovalix PRIVATE OVALIX_RENDERER_FROM_BIN="../lib/ovalix")
