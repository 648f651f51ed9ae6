# The scene: state, rendering, models, bulbs and input, one library over four folders (the
# wreath ends its drawing with the bulbs'). Knows nothing of any window system, so that every
# way of showing it, on Linux and on Windows, drives exactly the same code; only how files are
# opened and how GL's later functions are found are each system's own.
target_sources(lumetta_scene PRIVATE
  core/check.cpp
  core/files.cpp
  core/gl_api.cpp
  core/scene_host.cpp
  view/scene.cpp
  view/frame.cpp
  view/frame_cache.cpp
  view/frame_regions.cpp
  view/frame_targets.cpp
  view/moving_parts.cpp
  view/gl_query.cpp
  view/gl_check.cpp
  view/input.cpp
  view/scene_start.cpp
  view/panel.cpp
  models/material.cpp
  models/mesh.cpp
  models/shape_cache.cpp
  models/wreath.cpp
  bulbs/bulb_string.cpp
  bulbs/patterns.cpp
)
if(WIN32)
  target_sources(lumetta_scene PRIVATE core/files_windows.cpp)
  target_compile_definitions(lumetta_scene PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
else()
  target_sources(lumetta_scene PRIVATE core/files_posix.cpp)
endif()
target_include_directories(lumetta_scene PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(lumetta_scene PUBLIC lumetta_wreath_tables)
