# Compiler settings shared by every target of the project.
add_library(mt_warnings INTERFACE)
target_compile_options(mt_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
                       -Wimplicit-fallthrough)
if(MARROWTUNE_WERROR)
    target_compile_options(mt_warnings INTERFACE -Werror)
endif()

if(MARROWTUNE_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(MARROWTUNE_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT MARROWTUNE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "MARROWTUNE_SANITIZE must be address, thread or empty")
endif()

set(CMAKE_AUTOMOC ON)

# mt_library(name SOURCES ... LINK ...): a static library of the project below ui/.
function(mt_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LINK} PRIVATE mt_warnings)
endfunction()
