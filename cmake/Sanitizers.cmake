# Instrumented builds, chosen with -DQUILLMARK_SANITIZE=...:
#   address  AddressSanitizer with UndefinedBehaviorSanitizer (the test suite)
#   thread   ThreadSanitizer (the capture thread and its messages)
#   fuzzer   libFuzzer's coverage with AddressSanitizer and
#            UndefinedBehaviorSanitizer, for clang; the fuzz targets add
#            QUILLMARK_FUZZER_LINK_OPTIONS
# Every flag of these builds lives here. Any report ends the program with a
# failure, so a test or fuzz run that hits one fails.
set(QUILLMARK_SANITIZE "" CACHE STRING "Sanitizer build: address, thread or fuzzer")
set_property(CACHE QUILLMARK_SANITIZE PROPERTY STRINGS "" address thread fuzzer)

set(quillmark_sanitizers_address address,undefined)
set(quillmark_sanitizers_thread thread)
set(quillmark_sanitizers_fuzzer fuzzer-no-link,address,undefined)

if(QUILLMARK_SANITIZE)
    set(quillmark_sanitizers ${quillmark_sanitizers_${QUILLMARK_SANITIZE}})
    if(NOT quillmark_sanitizers)
        message(FATAL_ERROR "QUILLMARK_SANITIZE must be address, thread or fuzzer")
    endif()
    add_compile_options(-fsanitize=${quillmark_sanitizers} -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${quillmark_sanitizers})
    # GCC's AddressSanitizer instrumentation makes it warn of uninitialised
    # members deep in libstdc++'s regex; the plain build keeps the warning.
    if(QUILLMARK_SANITIZE STREQUAL "address" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_compile_options(-Wno-maybe-uninitialized)
    endif()
endif()

# A fuzz target also links libFuzzer's main.
set(QUILLMARK_FUZZER_LINK_OPTIONS -fsanitize=fuzzer)
