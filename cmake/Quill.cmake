# Build helpers shared by every folder.

set(QUILL_WARNINGS -Wall -Wextra)
if(QUILL_WERROR)
    list(APPEND QUILL_WARNINGS -Werror)
endif()

if(QUILL_SANITIZE)
    string(REPLACE "," ";" _quill_san "${QUILL_SANITIZE}")
    set(QUILL_SANITIZE_FLAGS "")
    foreach(s IN LISTS _quill_san)
        list(APPEND QUILL_SANITIZE_FLAGS "-fsanitize=${s}")
    endforeach()
    list(APPEND QUILL_SANITIZE_FLAGS -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_compile_options(${QUILL_SANITIZE_FLAGS})
    add_link_options(${QUILL_SANITIZE_FLAGS})
endif()

# quill_include_root(<target> <name> <folder>)
# Gives a target an include root of its own: a folder in the build tree that
# holds one link, <name> -> <folder>. "<name>/X.h" is then reachable exactly
# from the targets that link this one, so an include against the dependency
# direction fails to build instead of linking by luck.
function(quill_include_root target name folder)
    set(_root ${PROJECT_BINARY_DIR}/include/${name})
    file(MAKE_DIRECTORY ${_root})
    file(CREATE_LINK ${folder} ${_root}/${name} SYMBOLIC)
    get_target_property(_type ${target} TYPE)
    if(_type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${_root})
    else()
        target_include_directories(${target} PUBLIC ${_root})
    endif()
endfunction()

# quill_library(<name> DEPS <targets...>)
# One static library per folder, made from every .cpp/.h in it; alias quill::<name>.
function(quill_library name)
    cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER _src INCLUDE REGEX "\\.cpp$")
    if(NOT _src)
        # A folder whose code has not arrived yet.
        add_library(quill_${name} INTERFACE)
        target_link_libraries(quill_${name} INTERFACE ${Q_DEPS})
    else()
        file(GLOB _hdr CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
        add_library(quill_${name} STATIC ${_src} ${_hdr})
        target_compile_options(quill_${name} PRIVATE ${QUILL_WARNINGS})
        target_link_libraries(quill_${name} PUBLIC ${Q_DEPS})
    endif()
    quill_include_root(quill_${name} ${name} ${CMAKE_CURRENT_SOURCE_DIR})
    add_library(quill::${name} ALIAS quill_${name})
endfunction()

# quill_tests(<folder> [GUI] [X11] DEPS <targets...>)
# One test program per tests/ folder from every *_tests.cpp in it. GUI tests get a
# QApplication and run on the offscreen platform.
function(quill_tests name)
    cmake_parse_arguments(Q "GUI;X11" "" "DEPS;EXTRA" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_tests.cpp)
    if(NOT _src)
        return()
    endif()
    set(_exe quill_${name}_tests)
    add_executable(${_exe} ${_src} ${Q_EXTRA})
    target_compile_options(${_exe} PRIVATE ${QUILL_WARNINGS})
    if(Q_GUI)
        target_link_libraries(${_exe} PRIVATE quill::testmain_gui)
    else()
        target_link_libraries(${_exe} PRIVATE quill::testmain_core)
    endif()
    target_link_libraries(${_exe} PRIVATE ${Q_DEPS} quill::testsupport GTest::gtest GTest::gmock)
    # Programs with tests on the shared X display (clipboard, input) take its lock,
    # so they never run beside the other X tests.
    set(_lock "")
    if(Q_X11)
        set(_lock RESOURCE_LOCK x_display)
    endif()
    gtest_discover_tests(${_exe}
        PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen ${_lock}
        DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST)
endfunction()
