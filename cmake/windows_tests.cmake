# The command-line tests once more against each .exe of
# scripts/build-windows, under Wine's loader: wine for the 32-bit one,
# wine64 for the 64-bit one. Without the loader or the .exe they skip.
set(LIBMORPH_WINDOWS_BUILD ${PROJECT_SOURCE_DIR}/build-windows CACHE PATH
    "Where scripts/build-windows put the .exe files")

foreach(bits 32 64)
  if(bits EQUAL 32)
    set(loader wine)
    set(arch i686)
  else()
    set(loader wine64)
    set(arch x86_64)
  endif()
  set(prefix ${PROJECT_BINARY_DIR}/wine${bits})
  set(wine_env
    LIBMORPH_CLI_LOADER=${loader}
    LIBMORPH_CLI_EXE=${LIBMORPH_WINDOWS_BUILD}/${arch}/libmorph/cli/libmorph-cli.exe
    WINEPREFIX=${prefix} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  # Wine makes its prefix on first use; made once here, the tests that
  # run side by side do not all make it at the same time.
  find_program(LIBMORPH_${loader} ${loader})
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
    PROPERTIES LABELS wine ENVIRONMENT "${wine_env}" FIXTURES_REQUIRED wine${bits}
               SKIP_REGULAR_EXPRESSION "${LIBMORPH_SKIP_REGEX}" TIMEOUT 900)
endforeach()
