# The platform wall, checked on the sources: no file of document/, scene/,
# layers/, host/ or tools/ includes a Linux system header, directly or through
# a platform/ header that includes one.  The system's own code speaks Win32,
# Direct3D 9 and COM; what talks to Linux is a stand-in in platform/.
#
#   cmake -DSOURCE_DIR=<repository root> -P cmake/check_platform_wall.cmake
#
# Fails with one line per include it refuses.
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_platform_wall: SOURCE_DIR is not set")
endif()

set(above_platform document scene layers host tools)

# Headers of the system libraries (by their folder or name) and of POSIX.
set(system_header_regex
  "^(SDL2?/|SDL[_.]|X11/|GL/|GLES[0-9]*/|EGL/|KHR/|epoxy/|cairo|pango/|gtk/|gdk/|gdk-pixbuf/|glib|gio/|gobject/|sndfile|png\\.h|jpeglib|dbus/|sys/|unistd\\.h|fcntl\\.h|pthread\\.h|dirent\\.h|poll\\.h|dlfcn\\.h|signal\\.h|termios\\.h|spawn\\.h|sched\\.h|semaphore\\.h|pwd\\.h|grp\\.h|netdb\\.h|netinet/|arpa/|libgen\\.h|fnmatch\\.h|glob\\.h|syslog\\.h|utime\\.h|wordexp\\.h|alsa/|pulse/)")

# The #include targets of one file: <...> into `angle`, "..." into `quoted`.
function(includes_of file angle quoted)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  set(a "")
  set(q "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
      list(APPEND a "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      list(APPEND q "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${angle} "${a}" PARENT_SCOPE)
  set(${quoted} "${q}" PARENT_SCOPE)
endfunction()

# platform/ headers that reach a system header, directly or through another
# platform/ header: walked until nothing new is found.
file(GLOB_RECURSE platform_headers RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/platform/*.h")
set(walled "")
foreach(header IN LISTS platform_headers)
  includes_of("${SOURCE_DIR}/${header}" angle quoted)
  foreach(inc IN LISTS angle)
    if(inc MATCHES "${system_header_regex}")
      list(APPEND walled "${header}")
      set(reason_${header} "<${inc}>")
      break()
    endif()
  endforeach()
endforeach()
set(changed TRUE)
while(changed)
  set(changed FALSE)
  foreach(header IN LISTS platform_headers)
    if(header IN_LIST walled)
      continue()
    endif()
    includes_of("${SOURCE_DIR}/${header}" angle quoted)
    foreach(inc IN LISTS quoted)
      if(inc IN_LIST walled)
        list(APPEND walled "${header}")
        set(reason_${header} "${reason_${inc}} through \"${inc}\"")
        set(changed TRUE)
        break()
      endif()
    endforeach()
  endforeach()
endwhile()

set(refused "")
set(count 0)
foreach(folder IN LISTS above_platform)
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
    "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp"
    "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.cc" "${SOURCE_DIR}/${folder}/*.c"
    "${SOURCE_DIR}/${folder}/*.inc")
  foreach(source IN LISTS sources)
    math(EXPR count "${count} + 1")
    includes_of("${SOURCE_DIR}/${source}" angle quoted)
    foreach(inc IN LISTS angle)
      if(inc MATCHES "${system_header_regex}")
        string(APPEND refused "  ${source}: #include <${inc}>\n")
      endif()
    endforeach()
    foreach(inc IN LISTS quoted)
      if(inc IN_LIST walled)
        string(APPEND refused "  ${source}: #include \"${inc}\" (reaches ${reason_${inc}})\n")
      endif()
    endforeach()
    # The process environment is read through GetEnvironmentVariableW.
    file(STRINGS "${SOURCE_DIR}/${source}" env_calls REGEX "(^|[^A-Za-z0-9_])(getenv|secure_getenv|setenv|unsetenv|putenv)[ \t]*\\(")
    foreach(line IN LISTS env_calls)
      string(STRIP "${line}" line)
      string(APPEND refused "  ${source}: ${line}\n")
    endforeach()
  endforeach()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "check_platform_wall: no sources found below ${SOURCE_DIR}")
endif()
if(refused)
  message(FATAL_ERROR "System headers or calls above platform/ (put the call into a stand-in in platform/ under its Windows name):\n${refused}")
endif()
message(STATUS "platform wall: ${count} files of ${above_platform} include no system header")
