# Helpers shared by every folder's CMakeLists.

# -Wrestrict: GCC 12 reports false positives inside libstdc++ string code.
set(QUILLON_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wno-unused-parameter -Wno-restrict)

# quillon_library(<name> DEPS <targets...>)
# One library per source folder: every .cpp of the folder (not of its subfolders).
function(quillon_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(sources)
    file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    add_library(${name} STATIC ${all})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${QUILLON_WARNINGS})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # A folder whose first sources have not arrived yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()
