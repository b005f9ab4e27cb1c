# The command-line tests once more against each .exe of
# scripts/build-windows, under Wine's loader: wine for the 32-bit one,
# wine64 for the 64-bit one. Without the loader or the .exe they skip.
set(LIBMORPH_WINDOWS_BUILD ${PROJECT_SOURCE_DIR}/build-windows CACHE PATH
    "Where scripts/build-windows put the .exe files")

foreach(target libmorph_cli_tests libmorph_load_tests)
  target_compile_definitions(${target} PRIVATE
    LIBMORPH_WINDOWS_BUILD="${LIBMORPH_WINDOWS_BUILD}")
endforeach()

# A test sees one variable, LIBMORPH_CLI_WINE (32 or 64), and the runner
# derives the rest: a test property holds no list.
foreach(bits 32 64)
  if(bits EQUAL 32)
    set(loader wine)
  else()
    set(loader wine64)
  endif()
  set(prefix ${PROJECT_BINARY_DIR}/wine${bits})
  # The same as tests/cli/cli_runner.cpp sets for the .exe it runs.
  set(wine_env WINEPREFIX=${prefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  # Wine makes its prefix on first use; made once here, the tests that
  # run side by side do not all make it at the same time.
  find_program(LIBMORPH_${loader} ${loader} PATHS /usr/lib/wine)  # Debian keeps wine64 there
  if(LIBMORPH_${loader})
    add_test(NAME wine${bits}_prefix COMMAND ${CMAKE_COMMAND} -E env ${wine_env}
             ${LIBMORPH_${loader}} cmd /c exit)
  else()
    add_test(NAME wine${bits}_prefix COMMAND ${CMAKE_COMMAND} -E echo "${loader} is not installed")
  endif()
  set_tests_properties(wine${bits}_prefix PROPERTIES FIXTURES_SETUP wine${bits} LABELS wine TIMEOUT 600)
  gtest_discover_tests(libmorph_cli_tests
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX wine${bits}.
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS wine ENVIRONMENT LIBMORPH_CLI_WINE=${bits} FIXTURES_REQUIRED wine${bits}
               SKIP_REGULAR_EXPRESSION "${LIBMORPH_SKIP_REGEX}" TIMEOUT 900)
  gtest_discover_tests(libmorph_load_tests
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX wine${bits}.
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS wine ENVIRONMENT LIBMORPH_CLI_WINE=${bits} FIXTURES_REQUIRED wine${bits}
               RUN_SERIAL TRUE SKIP_REGULAR_EXPRESSION "${LIBMORPH_SKIP_REGEX}" TIMEOUT 1800)
endforeach()
