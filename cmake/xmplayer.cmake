# The player library as others install it (cmake --install): libxmplayer.so with only the C
# interface visible (on Windows libxmplayer.dll with its import library libxmplayer.dll.a),
# libxmplayer.a, xmplayer.h, a CMake package (find_package(XmPlayer), target XmPlayer::xmplayer,
# or XmPlayer::xmplayer_static) and a pkg-config file (xmplayer.pc). Included by the top-level
# CMakeLists.txt after the static library is defined.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(xmplayer_shared SHARED ${XMPLAYER_SOURCES})
set_target_properties(xmplayer_shared PROPERTIES
  OUTPUT_NAME xmplayer
  EXPORT_NAME xmplayer
  VERSION ${XMPLAYER_VERSION}
  SOVERSION ${XMPLAYER_VERSION_MAJOR}
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(xmplayer_shared
  PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/player/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  PRIVATE ${CMAKE_SOURCE_DIR})
# The DLL exports the C interface (XMPLAYER_API) and carries the C and C++ runtimes inside, so it
# needs nothing beside it but Windows's own DLLs.
target_compile_definitions(xmplayer_shared PRIVATE XMPLAYER_BUILDING_DLL)
if(WIN32)
  target_link_options(xmplayer_shared PRIVATE -static -static-libgcc -static-libstdc++)
endif()
set_target_properties(xmplayer PROPERTIES EXPORT_NAME xmplayer_static)
target_include_directories(xmplayer PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS xmplayer_shared xmplayer EXPORT XmPlayerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/player/include/xmplayer.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT XmPlayerTargets NAMESPACE XmPlayer:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/XmPlayer)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/XmPlayerConfig.cmake.in
  ${CMAKE_BINARY_DIR}/XmPlayerConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/XmPlayer)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/XmPlayerConfigVersion.cmake VERSION ${XMPLAYER_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/XmPlayerConfig.cmake ${CMAKE_BINARY_DIR}/XmPlayerConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/XmPlayer)

# pkg-config: the prefix found from the file's own place, so the package works wherever it is
# installed (cmake --install --prefix P included).
file(RELATIVE_PATH XMPLAYER_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/xmplayer.pc.in ${CMAKE_BINARY_DIR}/xmplayer.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/xmplayer.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
