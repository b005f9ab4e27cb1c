# The core on Windows: the POSIX stand-ins in platform/ give way to the
# system's own calls in platform/windows/, and nothing needs ICU (the
# Windows-1252 table comes from the system's converter).
list(FILTER LIBMORPH_PLATFORM_SOURCES EXCLUDE REGEX
  "/platform/(codepage|command_line|file_api|safe_save|system_error)\\.cpp$")
file(GLOB LIBMORPH_WINDOWS_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/windows/*.cpp)
list(APPEND LIBMORPH_PLATFORM_SOURCES ${LIBMORPH_WINDOWS_SOURCES})
# Wide calls (CreateFileW, ...) by name; nothing of windows.h's min/max.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
add_compile_options(-Wno-restrict)  # GCC 12 warns wrongly of std::string inserts (its bug 105329)
