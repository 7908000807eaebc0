# One static library per subsystem folder; our own warnings apply only to our code.
set(QL_WARNINGS -Wall -Wextra)

function(ql_subsystem name)
  file(GLOB srcs CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp ${CMAKE_SOURCE_DIR}/src/${name}/*.c)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  if(NOT srcs)
    return()
  endif()
  add_library(ql_${name} STATIC ${srcs} ${ARGN})
  target_include_directories(ql_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
  target_compile_options(ql_${name} PRIVATE ${QL_WARNINGS})
  target_link_libraries(ql_${name} PUBLIC Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY QL_SUBSYSTEMS ql_${name})
endfunction()

# Every subsystem calls into its neighbours (the host presents frames the display draws, screens of
# every subsystem use the app's toolkit), so programs link them as one group.
function(ql_link_all target)
  get_property(subs GLOBAL PROPERTY QL_SUBSYSTEMS)
  string(REPLACE ";" "," joined "${subs}")
  target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${joined}>")
endfunction()
