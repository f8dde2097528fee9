# The Windows executable: the Win32 backend, the Windows entry, and every file of resources/
# compiled into the program by the resource compiler. Included by the top-level CMakeLists.txt
# when cross-compiling (the mingw preset).
enable_language(RC)

add_library(skr_platform_win32 STATIC
  platform/win32/win32_platform.cpp
  platform/win32/win32_window.cpp
  platform/win32/win32_audio.cpp
  platform/win32/win32_thread.cpp)
target_link_libraries(skr_platform_win32 PUBLIC skr_core winmm gdi32 user32)

# The resource script, named as the embedded table on Linux names the same files:
#   NNN-name.bmp  -> BITMAP NNN (found with LoadBitmapA)
#   NNN-name.ext  -> type "EXT" number NNN, e.g. the song 118-song.xm as type "XM", 118
#   name.ext      -> RCDATA named "NAME.EXT" (found by findNamedResource, whatever the case)
# Written at configure time: the resource glob re-runs it when a file comes or goes, and the
# OBJECT_DEPENDS below recompile the script when a file's bytes change.
set(SKR_RC ${CMAKE_BINARY_DIR}/generated/resources.rc)
set(rc "// Generated from resources/ by cmake/windows.cmake. Do not edit.\nLANGUAGE 0, 0\n")
set(SKR_RC_INPUTS "")
foreach(path IN LISTS SKR_RESOURCE_FILES)
  get_filename_component(name ${path} NAME)
  if(name MATCHES "^\\." OR name MATCHES "~$")
    continue()
  endif()
  if(path MATCHES "[\"\\\\]")
    message(FATAL_ERROR "resources: ${path}: the resource compiler cannot take a path with quotes or backslashes")
  endif()
  get_filename_component(ext ${path} LAST_EXT)
  string(SUBSTRING "${ext}" 1 -1 ext)
  string(TOUPPER "${ext}" type)
  if(name MATCHES "^([0-9]+)-")
    set(id ${CMAKE_MATCH_1})
    if(type STREQUAL "BMP")
      string(APPEND rc "${id} BITMAP \"${path}\"\n")
    else()
      string(APPEND rc "${id} ${type} \"${path}\"\n")
    endif()
  elseif(name MATCHES "^[A-Za-z][A-Za-z0-9_.-]*$")
    string(APPEND rc "${name} RCDATA \"${path}\"\n")
  else()
    message(FATAL_ERROR "resources: ${name}: a resource without a number needs a name of letters, "
                        "digits, '_', '.' and '-' that starts with a letter")
  endif()
  list(APPEND SKR_RC_INPUTS ${path})
endforeach()
file(WRITE ${SKR_RC}.tmp "${rc}")
file(COPY_FILE ${SKR_RC}.tmp ${SKR_RC} ONLY_IF_DIFFERENT)
set_source_files_properties(${SKR_RC} PROPERTIES OBJECT_DEPENDS "${SKR_RC_INPUTS}")

add_executable(skr4mm3lb0d WIN32 host/entry_win32.cpp ${SKR_RC})
target_link_libraries(skr4mm3lb0d PRIVATE skr_core skr_platform_win32 winmm)
# A release executable carries no symbol table: it would double the download and nobody debugs
# from it (a debug build keeps them).
target_link_options(skr4mm3lb0d PRIVATE $<$<CONFIG:Release>:-s>)
