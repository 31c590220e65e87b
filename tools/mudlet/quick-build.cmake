# Given to Mudlet's build as CMAKE_PROJECT_INCLUDE by tools/mudlet/build, so included after each
# project() of it; acts once, when the top folder has defined every target. The C++ files of
# each target the mudlet program is linked from get the Qt modules they use as one precompiled
# header, parsed once instead of in every file, and those of mudlet and edbee-lib are compiled
# in batches (a unity build; communi's files define the same static names).
get_property(done GLOBAL PROPERTY BRAWLHUE_MUDLET_QUICK_BUILD)
if(NOT done)
    set_property(GLOBAL PROPERTY BRAWLHUE_MUDLET_QUICK_BUILD ON)
    function(brawlhue_quick_build)
        foreach(target_and_modules IN ITEMS "mudlet;ON;QtCore;QtGui;QtWidgets;QtNetwork"
                "edbee-lib;ON;QtCore;QtGui;QtWidgets" "communi;OFF;QtCore;QtNetwork")
            list(POP_FRONT target_and_modules target unity)
            set(headers)
            foreach(module IN LISTS target_and_modules)
                # C files (edbee-lib's Oniguruma) are left as they are.
                list(APPEND headers "$<$<COMPILE_LANGUAGE:CXX>:<${module}$<ANGLE-R>>")
            endforeach()
            target_precompile_headers(${target} PRIVATE ${headers})
            set_target_properties(${target} PROPERTIES UNITY_BUILD ${unity})
            # Compiled alone: Oniguruma's encodings (C) and the parts of TLuaInterpreter, which
            # each define the same static names, and edbee-lib's factories, which define
            # macros named like its methods.
            get_target_property(sources ${target} SOURCES)
            get_target_property(folder ${target} SOURCE_DIR)
            list(FILTER sources INCLUDE REGEX "(\\.c|/factory[a-z]*\\.cpp|TLuaInterpreter[A-Za-z]*\\.cpp)$")
            foreach(source IN LISTS sources)
                cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${folder}")
                set_source_files_properties("${source}" TARGET_DIRECTORY ${target}
                    PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
            endforeach()
        endforeach()
    endfunction()
    cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL brawlhue_quick_build)
endif()
