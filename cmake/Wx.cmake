# wxWidgets 3.2 (GTK 3) as one target; CMake 3.25 has no imported target of its own for it.
find_package(wxWidgets REQUIRED COMPONENTS xrc core base)
add_library(tunekiln_wx INTERFACE)
target_include_directories(tunekiln_wx SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
target_compile_definitions(tunekiln_wx INTERFACE ${wxWidgets_DEFINITIONS})
target_compile_options(tunekiln_wx INTERFACE ${wxWidgets_CXX_FLAGS})
target_link_libraries(tunekiln_wx INTERFACE ${wxWidgets_LIBRARIES})
find_program(WXRC_EXECUTABLE wxrc REQUIRED)
