# The portable core: plain C++20 without <windows.h>, built natively for the unit tests and the
# fuzzers, and with the cross compiler into the plug-in.
set(LUMVO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/plugin/data_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/settings_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/http_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/json.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/number_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/display_document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/display_poll.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/settings_push.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/song_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/stale_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/wall_link.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/overlay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/photo_cache.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/toolkit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/feed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/qr_card.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/frame_driver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/compose.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay/image_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/post_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/moderation_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/moderation_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/post_actions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/row_look.cpp
  # Rules of the Windows shell that need no Windows: tested natively.
  ${CMAKE_CURRENT_LIST_DIR}/plugin/brand_geometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/host_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin/worker_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serverlink/http_timeouts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/toast_geometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/moderator/photo_fit.cpp
)
