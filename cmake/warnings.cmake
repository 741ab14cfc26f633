# One interface target carries the project's warning flags; every target links it.
add_library(zodadovez_warnings INTERFACE)
target_compile_options(zodadovez_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Woverloaded-virtual
  -Wimplicit-fallthrough -Wswitch-enum)
if(ZODADOVEZ_WERROR)
  target_compile_options(zodadovez_warnings INTERFACE -Werror)
endif()
