# Warnings for the project's own targets; CI turns them into errors.
add_library(tunekiln_warnings INTERFACE)
target_compile_options(tunekiln_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough
  # Designated initializers name only the fields a caller changes.
  -Wno-missing-field-initializers
  $<$<BOOL:${TUNEKILN_WERROR}>:-Werror>)
