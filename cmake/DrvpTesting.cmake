# drvp_add_test(name SOURCES ... LIBS ... [PCSC|NOPCSCD] [TIMEOUT s])
# PCSC tests run inside their own mount and network namespace with a private
# pcscd and virtual reader (tests/pcsc-sandbox.sh); the rest run directly.
# Every test and fuzz run has folders of its own and fails on any sanitizer
# report, its children's included (tests/isolated-run.sh).
set(DRVP_ISOLATED ${CMAKE_SOURCE_DIR}/tests/isolated-run.sh)
set(DRVP_TEST_ENV
  QT_QPA_PLATFORM=offscreen
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1"
  DRVP_TOOLS_DIR=${CMAKE_BINARY_DIR}/tools
  DRVP_SOURCE_DIR=${CMAKE_SOURCE_DIR}
  DRVP_CERTS_DIR=${CMAKE_BINARY_DIR}/certs)

# The same on an X server (xvfb-run), for the tests that show windows as a
# person sees them. xkbcommon's strndup reads a bounded, unterminated buffer,
# which the strict string checks take for an overflow; widgets need no GL.
set(DRVP_X11_TEST_ENV ${DRVP_TEST_ENV})
list(FILTER DRVP_X11_TEST_ENV EXCLUDE REGEX "^(QT_QPA_PLATFORM|LSAN_OPTIONS|ASAN_OPTIONS)=")
list(APPEND DRVP_X11_TEST_ENV QT_QPA_PLATFORM=xcb QT_XCB_GL_INTEGRATION=none
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan-x11.supp:print_suppressions=0:fast_unwind_on_malloc=0"
  "ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0")

function(drvp_add_test name)
  cmake_parse_arguments(ARG "PCSC;NOPCSCD" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES} ${DRVP_RESOURCES})
  target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBS})
  set(mode "")
  if(ARG_PCSC)
    set(mode start)
  elseif(ARG_NOPCSCD)
    set(mode nostart)
  endif()
  drvp_register_test(${name} "${mode}" ${ARG_TIMEOUT} $<TARGET_FILE:${name}>)
endfunction()

# drvp_add_script_test(name SCRIPT file [PCSC] [TIMEOUT s]): a bash test, run
# like the others.
function(drvp_add_script_test name)
  cmake_parse_arguments(ARG "PCSC" "SCRIPT;TIMEOUT" "" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(mode "")
  if(ARG_PCSC)
    set(mode start)
  endif()
  drvp_register_test(${name} "${mode}" ${ARG_TIMEOUT} bash ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_SCRIPT})
endfunction()

# drvp_register_test(name mode timeout COMMAND...): the command, isolated and
# under the time limit; in the pcscd sandbox when mode is start or nostart.
function(drvp_register_test name mode timeout)
  if(mode)
    add_test(NAME ${name}
      COMMAND ${DRVP_ISOLATED} ${CMAKE_SOURCE_DIR}/tests/pcsc-sandbox.sh ${mode} ${timeout} ${ARGN})
    set_tests_properties(${name} PROPERTIES LABELS pcsc)
  else()
    add_test(NAME ${name} COMMAND ${DRVP_ISOLATED} timeout -k 5 ${timeout} ${ARGN})
  endif()
  math(EXPR hard "${timeout} + 30")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${hard} ENVIRONMENT "${DRVP_TEST_ENV}")
endfunction()

# A libFuzzer target over the project's parsers, with a short bounded run
# over the checked-in corpus.
function(drvp_add_fuzzer name)
  cmake_parse_arguments(ARG "" "SECONDS;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT DRVP_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  add_test(NAME ${name}
    COMMAND ${DRVP_ISOLATED} sh -c "mkdir -p '${work}' && exec timeout -k 5 $((${ARG_SECONDS} + 60)) $<TARGET_FILE:${name}> -max_total_time=${ARG_SECONDS} -timeout=10 -rss_limit_mb=4096 '${work}' '${ARG_CORPUS}'")
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS fuzz ENVIRONMENT "${DRVP_TEST_ENV}")
endfunction()
