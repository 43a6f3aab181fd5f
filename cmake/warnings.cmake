# Project-wide compile settings, applied to every target through this
# interface library so that third-party targets keep their own flags.
add_library(tecto_options INTERFACE)
add_library(tectomorph::options ALIAS tecto_options)
target_compile_options(tecto_options INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 at -O3 reports use-after-free inside Eigen's aligned allocator and
# overlapping memcpy inside std::string's inlined appends; both are known
# false positives of that compiler (the code frees, reallocates and copies
# correctly), so they would only make warnings-as-errors builds fail.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
  target_compile_options(tecto_options INTERFACE -Wno-use-after-free -Wno-restrict)
endif()
if(TECTO_WERROR)
  target_compile_options(tecto_options INTERFACE -Werror)
endif()
# The sanitizers' own advice: -O1 keeps their reports and stacks exact while
# Eigen's expression templates, which -O0 leaves as layers of calls, run
# tens of times faster (a bootstrap test: 19 s at -O0). Eigen's assertions
# stay on, as the build type does not define NDEBUG.
if(TECTO_SANITIZE)
  target_compile_options(tecto_options INTERFACE -O1 -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tecto_options INTERFACE -fsanitize=address,undefined)
endif()

# A subsystem's static library from every .cpp of its folder, with its
# tectomorph:: alias; nothing when the folder has no sources yet.
function(tecto_add_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  add_library(tectomorph::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN} PRIVATE tectomorph::options)
endfunction()
