# The resources the program finds by id. Until the art generator exists this is an
# empty table.
add_library(clavora_res STATIC src/platform/resources/Resources.cpp)
target_include_directories(clavora_res PUBLIC src)
