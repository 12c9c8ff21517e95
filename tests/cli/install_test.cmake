# Installs the build into a fresh prefix and checks that the manual pages and
# the shell completions land where man, bash-completion and zsh look for them.
# Usage: cmake -DBUILD=dir -DPREFIX=dir -DEXPECTED=file;file... -P install_test.cmake

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
