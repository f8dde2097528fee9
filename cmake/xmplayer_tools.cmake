# xmrender, the library's command-line renderer (tools/xmrender.cpp): any XM module to WAV through
# the public interface. cmake --install puts it beside the library. Included by the top-level
# CMakeLists.txt in the full build and the library-only one.
include(GNUInstallDirs)

add_library(skr_tool_files STATIC ${CMAKE_SOURCE_DIR}/tools/output_file.cpp)
target_include_directories(skr_tool_files PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(skr_tool_files PUBLIC xmplayer)
add_executable(xmrender ${CMAKE_SOURCE_DIR}/tools/xmrender.cpp)
target_link_libraries(xmrender PRIVATE skr_tool_files)
target_include_directories(xmrender PRIVATE ${CMAKE_BINARY_DIR}/generated)
install(TARGETS xmrender RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
