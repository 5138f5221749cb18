# The commands of the main window's menus, behind IWindow and injected services; by default
# they download and extract with the real operations.
add_library(varnel_commands STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ArchiveDigest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeleteTree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DesktopShortcut.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ExtractionFileSystem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Staging.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Worker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkerHost.cpp)
target_link_libraries(varnel_commands PUBLIC varnel_download varnel_signature_download
                                             varnel_extract varnel_catalog
                                             varnel_platform Threads::Threads)
