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

# mt_check_links(target ALLOWED ... | FORBIDDEN ...): stops the configuration when `target`
# reaches, through its own or any allowed target's link libraries, anything not listed in
# ALLOWED (names as the links write them), or anything listed in FORBIDDEN. Targets of the
# project are walked in turn; imported ones (Qt6::Core) are trusted whole. Call it after every
# target is defined, since links may be added late.
function(mt_check_links target)
    cmake_parse_arguments(ARG "" "" "ALLOWED;FORBIDDEN" ${ARGN})
    set(rule "it may link only ${ARG_ALLOWED}")
    if(ARG_FORBIDDEN)
        set(rule "it must never reach ${ARG_FORBIDDEN}")
    endif()
    set(pending ${target})
    set(seen "")
    while(pending)
        list(POP_FRONT pending current)
        get_target_property(imported ${current} IMPORTED)
        if(current IN_LIST seen OR imported)
            continue()
        endif()
        list(APPEND seen ${current})
        get_target_property(own ${current} LINK_LIBRARIES)
        get_target_property(usage ${current} INTERFACE_LINK_LIBRARIES)
        foreach(link IN LISTS own usage)
            # A static library's private links reach its users as $<LINK_ONLY:...>.
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
            if(link MATCHES "-NOTFOUND$|^::@") # none, or the scope of a link added elsewhere
                continue()
            elseif((ARG_ALLOWED AND NOT link IN_LIST ARG_ALLOWED) OR link IN_LIST ARG_FORBIDDEN)
                message(FATAL_ERROR "${target} must not link ${link} (reached through "
                                    "${current}); ${rule}")
            elseif(TARGET ${link})
                list(APPEND pending ${link})
            endif()
        endforeach()
    endwhile()
endfunction()

# mt_check_includes(target ALLOWED ...): a test that fails when a source of `target` includes a
# header of the project that is not among the sources of `target` or of the ALLOWED targets;
# a header used without linking its library would let the links above be bypassed.
function(mt_check_includes target)
    cmake_parse_arguments(ARG "" "" "ALLOWED" ${ARGN})
    set(headers "")
    foreach(owner IN ITEMS ${target} ${ARG_ALLOWED})
        get_target_property(dir ${owner} SOURCE_DIR)
        get_target_property(sources ${owner} SOURCES)
        foreach(source IN LISTS sources)
            if(source MATCHES "\\.h$")
                cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir})
                cmake_path(RELATIVE_PATH source BASE_DIRECTORY ${PROJECT_SOURCE_DIR}/src)
                list(APPEND headers ${source})
            endif()
        endforeach()
    endforeach()
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    list(TRANSFORM sources PREPEND ${dir}/)
    set(script ${PROJECT_BINARY_DIR}/${target}_includes.cmake)
    file(WRITE ${script} "cmake_minimum_required(VERSION 3.25)\nset(TARGET ${target})\n"
                         "set(SOURCES \"${sources}\")\n"
                         "set(ALLOWED \"${headers}\")\n"
                         "include(${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake)\n")
    add_test(NAME Links.${target}IncludesOnlyWhatItLinks COMMAND ${CMAKE_COMMAND} -P ${script})
    set_tests_properties(Links.${target}IncludesOnlyWhatItLinks PROPERTIES TIMEOUT 60)
endfunction()
