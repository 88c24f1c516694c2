# Windows build (mingw-w64): the program, its tools and the Win32 tests that run under Wine.

set(ARKEL_SQLITE_DIR "" CACHE PATH "Folder with sqlite3.c and sqlite3.h")
if(NOT EXISTS "${ARKEL_SQLITE_DIR}/sqlite3.c")
  message(FATAL_ERROR "ARKEL_SQLITE_DIR must hold the SQLite amalgamation (make deps fetches it)")
endif()

# Link the runtime statically so that the programs run without mingw DLLs beside them; no link
# time in the executables, so that a commit always gives the same bytes.
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                        WINVER=0x0601 _WIN32_IE=0x0600)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

add_library(sqlite3 STATIC ${ARKEL_SQLITE_DIR}/sqlite3.c)
target_include_directories(sqlite3 SYSTEM PUBLIC ${ARKEL_SQLITE_DIR})
target_compile_definitions(sqlite3 PRIVATE
  SQLITE_THREADSAFE=1 SQLITE_SECURE_DELETE
  SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0 SQLITE_WIN32_NO_ANSI)
target_compile_options(sqlite3 PRIVATE -w)

# The program's code as one library, so that the tests link exactly what the program runs.
add_library(arkel_app STATIC)
target_include_directories(arkel_app PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(arkel_app PRIVATE ${ARKEL_WARNINGS})
target_link_libraries(arkel_app PUBLIC sqlite3 comctl32 comdlg32 gdi32 user32 shell32 advapi32 ole32
  bcrypt)
foreach(lib arkel_crypto_core arkel_exchange_core)
  if(TARGET ${lib})
    target_link_libraries(arkel_app PUBLIC ${lib})
  endif()
endforeach()

add_subdirectory(platform)
add_subdirectory(prefs)
add_subdirectory(store)
add_subdirectory(app)
add_subdirectory(dialogs)
# The Win32 parts of the encryption and exchange subsystems (their portable cores are built apart).
target_sources(arkel_app PRIVATE
  ${CMAKE_SOURCE_DIR}/crypto/bulk_crypt.cpp
  ${CMAKE_SOURCE_DIR}/crypto/encrypted_record.cpp
  ${CMAKE_SOURCE_DIR}/crypto/strength_hint.cpp
  ${CMAKE_SOURCE_DIR}/exchange/exchange_file.cpp
  ${CMAKE_SOURCE_DIR}/exchange/export.cpp
  ${CMAKE_SOURCE_DIR}/exchange/import.cpp
  ${CMAKE_SOURCE_DIR}/exchange/test_seam.cpp)
add_subdirectory(resources)

add_executable(arkel WIN32 app/main.cpp $<TARGET_OBJECTS:arkel_resources>)
target_link_libraries(arkel PRIVATE arkel_app)
target_compile_options(arkel PRIVATE ${ARKEL_WARNINGS})

# Speed of the vault's passes against single-record writes (make bench-vault; not a test).
add_executable(vault_bench bench/vault_bench.cpp $<TARGET_OBJECTS:arkel_resources>)
target_link_libraries(vault_bench PRIVATE arkel_app psapi)
target_compile_options(vault_bench PRIVATE ${ARKEL_WARNINGS})

# The help viewer PegHelp.exe and the help file arkel.htp, beside the program.
add_library(help_viewer STATIC platform/help_viewer/help_viewer.cpp)
target_include_directories(help_viewer PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(help_viewer PUBLIC help_document message_box_fit user32 gdi32)
target_compile_options(help_viewer PRIVATE ${ARKEL_WARNINGS})
add_executable(PegHelp WIN32 platform/help_viewer/peghelp.cpp)
target_link_libraries(PegHelp PRIVATE help_viewer)
target_compile_options(PegHelp PRIVATE ${ARKEL_WARNINGS})
target_link_options(PegHelp PRIVATE -municode)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bin/arkel.htp
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/resources/arkel.htp ${CMAKE_BINARY_DIR}/bin/arkel.htp
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/arkel.htp)
add_custom_target(help_file ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/arkel.htp)
add_dependencies(arkel PegHelp help_file)

add_subdirectory(tools/arkstore)
add_subdirectory(tests/win)

# make bench-store: a full store against the floors of SQLite and Wine's controls (not a test).
add_executable(store_bench EXCLUDE_FROM_ALL bench/store_bench.cpp $<TARGET_OBJECTS:arkel_resources>)
target_link_libraries(store_bench PRIVATE arkel_app psapi)
target_compile_options(store_bench PRIVATE ${ARKEL_WARNINGS})
target_link_options(store_bench PRIVATE -municode)

# Export and import of a full store, on the tests' harness (make bench-store; not a test).
add_executable(exchange_bench bench/win/exchange_bench.cpp $<TARGET_OBJECTS:arkel_resources>)
target_link_libraries(exchange_bench PRIVATE arkel_harness GTest::gtest_main psapi)
target_compile_options(exchange_bench PRIVATE ${ARKEL_WARNINGS})
