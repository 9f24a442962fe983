# The Windows shell of the plug-in (cross build only): a static library with everything but the
# export, so the Windows tests can reach the internals, and the DLL the host loads.
set(LUMVO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/moderator_look.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/moderator_pages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/moderator_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/post_list_rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/settings_tab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/toast_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/tray_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/win/photo_preview.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/win/gdiplus_canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/win/overlay_renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/win/text_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/win/brand_bitmap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/base/win/data_folders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings/win/settings_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/win/video_wall_plugin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/base/win/wide_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/win/server_process.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/win/win_http_client.cpp
)
add_library(lumvo_win STATIC ${LUMVO_WIN_SOURCES})
target_link_libraries(lumvo_win PUBLIC lumvo_core d3d11 d3dcompiler_47 d2d1 dwrite windowscodecs gdiplus winhttp iphlpapi
  shell32 ole32 uuid comctl32 uxtheme)
target_compile_definitions(lumvo_win PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0A00)

# The plug-in itself. The host's export is DllGetClassObject (the .def file), beside it the
# test-only LumvoMirroredState; the name is the one the DJ sees in the host's plug-in folder.
add_library(lumvo_plugin SHARED
  ${CMAKE_CURRENT_LIST_DIR}/plugin/win/dll_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/win/lumvo_video_wall.def)
target_link_libraries(lumvo_plugin PRIVATE lumvo_win)
set_target_properties(lumvo_plugin PROPERTIES
  PREFIX ""
  OUTPUT_NAME "LUMVO Video Wall"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
