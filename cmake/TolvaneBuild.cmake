# What every target of the project builds with: the language standard and the
# warnings. Linked privately, so nothing of it reaches GoogleTest or Qt.
add_library(tolvane_build INTERFACE)
target_compile_features(tolvane_build INTERFACE cxx_std_20)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(tolvane_build INTERFACE -Wall -Wextra -Wpedantic $<$<BOOL:${TOLVANE_WERROR}>:-Werror>)
endif()

# The version header, for the programs that print it.
configure_file(${PROJECT_SOURCE_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/tolvane_version.h @ONLY)
add_library(tolvane_version INTERFACE)
target_include_directories(tolvane_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
