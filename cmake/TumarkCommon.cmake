# Flags shared by every target of ours (not by GoogleTest), and the helpers
# that place shipped programs and register tests.

add_library(tumark_flags INTERFACE)
target_compile_options(tumark_flags INTERFACE -Wall -Wextra)
if(TUMARK_WERROR)
  target_compile_options(tumark_flags INTERFACE -Werror)
endif()

if(WIN32)
  # Unicode Win32, Windows 7 API level; static runtime so that the programs
  # run from a copied folder with no DLLs of ours.
  target_compile_definitions(tumark_flags INTERFACE
    UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
  target_compile_options(tumark_flags INTERFACE -ffunction-sections -fdata-sections)
  target_link_options(tumark_flags INTERFACE -static -municode -Wl,--gc-sections)
  # kernel32 ahead of the compiler's own libraries: the 64-bit runtime's
  # __C_specific_handler must come from it, not from msvcrt.dll.
  target_link_libraries(tumark_flags INTERFACE kernel32)
  # Reproducible programs: no source or build folder inside them (the
  # runtime's own paths come from the compiler's packages, the same on every
  # machine), and the commit's time as the PE time stamp.
  target_compile_options(tumark_flags INTERFACE
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_SOURCE_DIR}/cmake/link-at-commit-time ${CMAKE_SOURCE_DIR})
else()
  set(TUMARK_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(tumark_flags INTERFACE ${TUMARK_SANITIZE})
  target_link_options(tumark_flags INTERFACE ${TUMARK_SANITIZE})
endif()

# A program we ship: lands in dist/<flavor>/, stripped, GUI subsystem, with
# the lean failure paths of the C++ runtime (common/lean_runtime.cpp) and a load
# configuration that keeps its DLLs to the system folder. The
# header names Windows 7 (6.1) as the oldest system; the subsystem version
# stays 4.0, since from 6.0 on Windows gives captioned windows a wider frame.
function(tumark_ship target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${TUMARK_DIST_DIR}
    WIN32_EXECUTABLE ON)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/common/lean_runtime.cpp
    ${CMAKE_SOURCE_DIR}/common/load_config.cpp)
  # The load configuration is referred to by nothing but the image header:
  # name it as a root so that --gc-sections keeps it (32-bit C symbols carry
  # a leading underscore), and point the header at it after the link.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(load_config __load_config_used)
  else()
    set(load_config _load_config_used)
  endif()
  target_link_options(${target} PRIVATE -s -mwindows
    -Wl,--major-os-version,6,--minor-os-version,1 -Wl,--undefined=${load_config})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/set-load-config $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/TumarkTesting.cmake)
