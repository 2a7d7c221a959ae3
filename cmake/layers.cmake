if(CMAKE_SCRIPT_MODE_FILE) # run as a script: the policies of the version the project needs
    cmake_minimum_required(VERSION 3.25)
endif()
# The direction of the updater's dependencies, checked by every build: a source
# of a folder may include only headers of the folders listed for it. update -> env, archive, ui
# -> platform; the archive check sits beside update and uses its plan; the front ends implement
# the platform and call everything. The zip component in archive/zipkit shows the rest one
# header, zipkit.h; its other headers are its own. A file that includes against the direction
# stops the configuration, naming the file and the include.
set(orv_layer_platform platform)
set(orv_layer_env env platform)
set(orv_layer_ui ui platform)
set(orv_layer_archive archive platform)
set(orv_layer_update update env archive ui platform)
set(orv_layer_check check update env archive platform)
set(orv_layer_posix posix check update env archive ui platform)
set(orv_layer_win32 win32 check update env archive ui platform)

function(orv_check_layers source_dir)
    file(GLOB_RECURSE sources "${source_dir}/*.h" "${source_dir}/*.cpp")
    set(violations "")
    foreach(source IN LISTS sources)
        file(RELATIVE_PATH relative "${source_dir}" "${source}")
        string(REGEX REPLACE "/.*" "" layer "${relative}")
        if(NOT DEFINED orv_layer_${layer})
            list(APPEND violations "${relative}: folder ${layer} has no place in the layers")
            continue()
        endif()
        file(STRINGS "${source}" includes REGEX "^#include \"[a-z0-9_]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([a-z0-9_]+)/.*" "\\1" used "${line}")
            if(NOT used IN_LIST orv_layer_${layer})
                list(APPEND violations "${relative}: ${line}")
            elseif(line MATCHES "^#include \"archive/zipkit/"
                   AND NOT relative MATCHES "^archive/zipkit/"
                   AND NOT line MATCHES "^#include \"archive/zipkit/zipkit\\.h\"")
                list(APPEND violations "${relative}: ${line} (private to the zip component)")
            endif()
        endforeach()
    endforeach()
    if(violations)
        list(JOIN violations "\n  " listed)
        message(FATAL_ERROR "Includes against the direction of the dependencies:\n  ${listed}")
    endif()
endfunction()

# As a script (cmake -DORV_LAYERS_ROOT=<folder> -P cmake/layers.cmake) it checks that folder;
# the build runs it so, every time, and configuring checks src at once.
if(DEFINED ORV_LAYERS_ROOT)
    orv_check_layers("${ORV_LAYERS_ROOT}")
else()
    orv_check_layers("${CMAKE_CURRENT_SOURCE_DIR}/src")
    add_custom_target(layers ALL
        COMMAND ${CMAKE_COMMAND} -DORV_LAYERS_ROOT=${CMAKE_CURRENT_SOURCE_DIR}/src
                -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/layers.cmake
        COMMENT "Checking the direction of the includes" VERBATIM)
endif()
