# The hardening that Debian's dpkg-buildflags gives its own packages, for every
# build of this tree whatever the distribution: a stack protector, fortified C
# library calls, format checks, control-flow protection where the compiler has
# it, and a read-only relocation table bound at start (full RELRO). Position-
# independent executables come from the compiler's and Qt's defaults.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)

function(quenby_add_compile_option_if_supported flag variable)
    check_cxx_compiler_flag(${flag} ${variable})
    if(${variable})
        add_compile_options(${flag})
    endif()
endfunction()

quenby_add_compile_option_if_supported(-fstack-protector-strong QUENBY_HAS_STACK_PROTECTOR_STRONG)
quenby_add_compile_option_if_supported(-fcf-protection QUENBY_HAS_CF_PROTECTION)
quenby_add_compile_option_if_supported(-Wformat QUENBY_HAS_WFORMAT)
set(CMAKE_REQUIRED_FLAGS -Wformat)
quenby_add_compile_option_if_supported(-Werror=format-security QUENBY_HAS_FORMAT_SECURITY)
unset(CMAKE_REQUIRED_FLAGS)

# Fortified calls need the optimiser, so a Debug build goes without. A level
# given in CXXFLAGS (a distribution's own build) is left as it is; otherwise
# whatever the compiler might define by itself is replaced by level 2.
if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                        "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
endif()

check_linker_flag(CXX "LINKER:-z,relro" QUENBY_HAS_RELRO)
check_linker_flag(CXX "LINKER:-z,now" QUENBY_HAS_BIND_NOW)
if(QUENBY_HAS_RELRO AND QUENBY_HAS_BIND_NOW)
    add_link_options("LINKER:-z,relro" "LINKER:-z,now")
endif()
