# The hardening Debian builds its own packages with: glibc's checked string
# and memory functions where the optimiser lets them work, and every
# relocation resolved at start so the tables can be made read-only. The
# sanitizer builds go without; they check more, and in their own way.
if(NOT QUILLMARK_SANITIZE)
    add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    add_link_options(LINKER:-z,now)
endif()
