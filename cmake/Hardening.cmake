# Debian's hardening flags, as dpkg-buildflags gives them to every package built on this host:
# fortified library calls, the stack protector, format-string checks and a read-only
# relocation table resolved at start (-z relro -z now). Only the hardening part of the
# compiler flags is taken, so the build type keeps choosing optimisation and debug data.
# A sanitizer build goes without: the sanitizers check more than fortification does.
find_program(HALVEX_DPKG_BUILDFLAGS dpkg-buildflags)
if(HALVEX_DPKG_BUILDFLAGS AND NOT HALVEX_SANITIZE)
  function(halvex_buildflags kind out)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${HALVEX_DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(${out} ${flags} PARENT_SCOPE)
  endfunction()
  halvex_buildflags(CPPFLAGS cppflags)
  halvex_buildflags(CXXFLAGS cxxflags)
  halvex_buildflags(LDFLAGS ldflags)
  list(FILTER cxxflags INCLUDE REGEX "^-(fstack-protector|fstack-clash-protection|fcf-protection|Wformat|Werror=format)")
  foreach(flag IN LISTS cppflags)
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
      # Fortification needs the optimiser; an unoptimised build would only warn.
      add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
    else()
      add_compile_options(${flag})
    endif()
  endforeach()
  add_compile_options(${cxxflags})
  add_link_options(${ldflags})
endif()

# The strip that `cmake --install --strip` and the Debian package use also drops the compilers'
# .comment section, as Debian's own packages do.
set(CMAKE_STRIP ${CMAKE_CURRENT_LIST_DIR}/strip-comment.sh CACHE FILEPATH "" FORCE)
