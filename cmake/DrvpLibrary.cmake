# A project library made of every source file in its folder.
# In the fuzz build every library carries the fuzzer's coverage
# instrumentation, so libFuzzer sees the code under test and not only the
# harness.
function(drvp_add_library name)
  cmake_parse_arguments(ARG "" "" "LIBS;PRIVATE_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
    if(DRVP_FUZZ)
      target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
  endif()
endfunction()

# Programs that link the instrumented libraries get the coverage callbacks
# from the sanitizer runtime.
if(DRVP_FUZZ AND NOT DRVP_SANITIZE)
  message(FATAL_ERROR "DRVP_FUZZ needs DRVP_SANITIZE")
endif()
