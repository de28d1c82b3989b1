# Runs the Windows test binaries under Wine, in a throwaway prefix that lives
# in the build folder. The prefix is made once per test run by the fixture
# test "wine.prefix.setup", which also starts one persistent wineserver for
# the run; "wine.prefix.teardown" ends it.

find_program(QC_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_DEFAULT_PATH)
find_program(QC_WINE64 NAMES wine64 wine)
find_program(QC_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(QC_WINESERVER NAMES wineserver)
if(NOT QC_WINE64 OR NOT QC_WINESERVER)
  message(FATAL_ERROR "wine64 and wineserver are needed to run the Windows tests (tools/install-deps.sh installs them)")
endif()

set(QC_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Throwaway Wine prefix for the tests")

configure_file(${PROJECT_SOURCE_DIR}/tools/wine-env.sh.in ${CMAKE_BINARY_DIR}/wine-env.sh @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/tools/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

set(QC_WINE_PREFIX_TOOL ${PROJECT_SOURCE_DIR}/tools/wine-prefix.sh)
