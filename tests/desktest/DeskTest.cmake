# spinx_add_desk_test(NAME source...): a test program on the windows, with the shared fixture
# and the main() that gives it a QApplication. The windows are only built where the engine and
# the libraries they stand on are, and so are their tests.
function(spinx_add_desk_test name)
    if(NOT TARGET spinx_windows)
        return()
    endif()
    spinx_add_test(${name}
        SOURCES ${ARGN}
                ${CMAKE_SOURCE_DIR}/tests/desktest/DeskTest.cpp
                ${CMAKE_SOURCE_DIR}/tests/desktest/DeskTestMain.cpp
        LIBS spinx_windows)
endfunction()
