# Debian's hardening flags, as dpkg-buildflags gives them for a package
# (fortified libc calls, stack protector, relro and immediate binding), for
# the targets that go into the .deb. The build type keeps its own optimization
# and debug levels. Where dpkg-buildflags is missing (not a Debian system),
# nothing is added.
#   fwu_debian_hardening(<target>...)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)

function(fwu_debian_hardening)
  if(NOT DPKG_BUILDFLAGS)
    return()
  endif()
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(g|O.*)$")
    set(${kind} ${flags})
  endforeach()
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE ${CPPFLAGS} ${CXXFLAGS})
    target_link_options(${target} PRIVATE ${LDFLAGS})
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endforeach()
endfunction()
