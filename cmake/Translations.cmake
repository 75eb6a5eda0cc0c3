# Interface translations. lrelease compiles a .ts at every build; lupdate refreshes the
# source-tree .ts only on request (scripts/update-translations, or the update_translations target).
include_guard(GLOBAL)

find_program(ZQ_LUPDATE NAMES lupdate HINTS /usr/lib/qt5/bin)
find_program(ZQ_LRELEASE NAMES lrelease HINTS /usr/lib/qt5/bin)
if(NOT ZQ_LUPDATE OR NOT ZQ_LRELEASE)
    message(FATAL_ERROR "lupdate and lrelease are needed (Debian package qttools5-dev-tools)")
endif()

# zq_compile_translation(TARGET TS_FILE QM_FILE): a target, part of ALL, that keeps QM_FILE
# compiled from TS_FILE.
function(zq_compile_translation target ts qm)
    get_filename_component(dir ${qm} DIRECTORY)
    add_custom_command(OUTPUT ${qm}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${ZQ_LRELEASE} -silent ${ts} -qm ${qm}
        DEPENDS ${ts}
        COMMENT "Compiling ${ts}"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${qm})
endfunction()
