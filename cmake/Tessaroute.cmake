# Helpers shared by every CMakeLists of the project.

# tessa_subsystem(<name> [DEPENDS <subsystem>...] [LIBS <library>...]
#                 [SOURCES <file>...] [EXCLUDE <regex>])
# Builds src/<name> into one static library from every source below the
# folder (or from SOURCES, relative to the folder; EXCLUDE leaves out the
# paths it matches). Consumers link tessa::<name>, which takes the whole
# archive so that objects registered by static initialisers (sentence types,
# settings objects, serialisable types, panel items) are never dropped by the
# linker.
function(tessa_subsystem name)
  cmake_parse_arguments(ARG "" "EXCLUDE" "DEPENDS;LIBS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    list(TRANSFORM ARG_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE srcs)
  else()
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
         ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
         ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  endif()
  if(ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  add_library(tessa_${name}_objs STATIC ${srcs})
  # Folders by job show as groups in IDEs.
  source_group(TREE ${CMAKE_CURRENT_SOURCE_DIR} FILES ${srcs})
  target_include_directories(tessa_${name}_objs PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(tessa_${name}_objs PUBLIC
      TESSA_VERSION="${PROJECT_VERSION}"
      TESSA_SOURCE_RESOURCES="${TESSA_RESOURCES_DIR}"
      TESSA_BUILD_RESOURCES="${PROJECT_BINARY_DIR}/resources")
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(tessa_${name}_objs PUBLIC tessa::${dep})
  endforeach()
  target_link_libraries(tessa_${name}_objs PUBLIC ${ARG_LIBS} Threads::Threads)
  add_library(tessa_${name} INTERFACE)
  target_link_libraries(tessa_${name} INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,tessa_${name}_objs>")
  add_library(tessa::${name} ALIAS tessa_${name})
  set_property(GLOBAL APPEND PROPERTY TESSA_SUBSYSTEMS ${name})
endfunction()

# Every subsystem built so far, for tests, fuzzers and benchmarks.
function(tessa_link_all target)
  get_property(subs GLOBAL PROPERTY TESSA_SUBSYSTEMS)
  foreach(s IN LISTS subs)
    target_link_libraries(${target} PRIVATE tessa::${s})
  endforeach()
endfunction()
