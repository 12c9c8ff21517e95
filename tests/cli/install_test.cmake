# Installs the build into a fresh prefix and checks that the manual pages and
# the shell completions land where man, bash-completion and zsh look for them.
# Usage: cmake -DBUILD=dir -DPREFIX=dir -DEXPECTED=file;file... -DINSTALL_PREFIX=prefix
#        -DZSH_FOLDER=folder -P install_test.cmake
# INSTALL_PREFIX is the prefix the build is configured for, ZSH_FOLDER its zsh
# completions' folder under it.
cmake_policy(VERSION 3.25)

# The install rewrites the build's install_manifest.txt: keep the one a real install left.
set(manifest ${BUILD}/install_manifest.txt)
if(EXISTS ${manifest})
  file(READ ${manifest} kept)
endif()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} OUTPUT_QUIET RESULT_VARIABLE failed)
if(DEFINED kept)
  file(WRITE ${manifest} "${kept}")
else()
  file(REMOVE ${manifest})
endif()
if(failed)
  message(FATAL_ERROR "cmake --install ${BUILD} --prefix ${PREFIX} failed: ${failed}")
endif()
foreach(file IN LISTS EXPECTED)
  if(NOT EXISTS ${PREFIX}/${file})
    message(SEND_ERROR "not installed: ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})

# zsh searches one folder under each of the two prefixes it knows (/usr for
# packages, /usr/local for installs by hand), and not the same one under both.
if(INSTALL_PREFIX MATCHES "^/usr(/local)?$")
  find_program(ZSH zsh)
  if(ZSH)
    execute_process(COMMAND ${ZSH} -fc "print -l $fpath" OUTPUT_VARIABLE fpath)
    string(REPLACE "\n" ";" fpath "${fpath}")
    if(NOT "${INSTALL_PREFIX}/${ZSH_FOLDER}" IN_LIST fpath)
      message(SEND_ERROR "zsh does not look for completions in ${INSTALL_PREFIX}/${ZSH_FOLDER}")
    endif()
  elseif("$ENV{TOLVANE_REQUIRE_TOOLS}" STREQUAL "1")
    message(SEND_ERROR "zsh is not on PATH (make test installs it)")
  endif()
endif()
