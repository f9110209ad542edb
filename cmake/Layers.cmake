# The layers of the tree, from the bottom up, each a row of folders. A target may use (link, or
# take an include folder from) its own folder and the folders of every row below its own;
# folders on one row know nothing of each other. A target's folder is the longest one here that
# holds its CMakeLists.txt, so app/stereo is not app. The top folder holds only build settings
# (the warnings), which every target uses.
set(P3D_LAYERS
    "platform"
    "sdk/CoreX"
    "sdk/CoreG sdk/QVDigitizer"
    "sdk/QClasses sdk/CocoaX"
    "sdk/DeZazE"
    # The display-free stereo libraries the application paints from: all below the application.
    "app/stereo"
    "app vcam CICameraGen"
    "tools packaging"
    # Above the programs they start.
    "tests"
    # Over the tests' support: the programs' log identity, the private channel namespace.
    "bench fuzz")

# The folder of the table that holds path (relative to the top folder), and its row; both empty
# when no folder does. Reads the rows p3d_check_layers numbered.
function(p3d_layer_of path out_folder out_row)
    while(NOT path STREQUAL "" AND NOT DEFINED p3d_row_${path})
        cmake_path(GET path PARENT_PATH path)
    endwhile()
    set(${out_folder} "${path}" PARENT_SCOPE)
    set(${out_row} "${p3d_row_${path}}" PARENT_SCOPE)
endfunction()

# dir relative to the top folder, a generated folder as the source folder it belongs to; "."
# for the top folder itself, empty outside the tree.
function(p3d_tree_path dir out)
    cmake_path(NORMAL_PATH dir)
    foreach(root IN ITEMS ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
        string(FIND "${dir}/" "${root}/" at)
        if(at EQUAL 0)
            string(LENGTH "${root}/" length)
            string(SUBSTRING "${dir}/" ${length} -1 path)
            string(REGEX REPLACE "/+$" "" path "${path}")
            if(path STREQUAL "")
                set(path .)
            endif()
            set(${out} ${path} PARENT_SCOPE)
            return()
        endif()
    endforeach()
    set(${out} "" PARENT_SCOPE)
endfunction()

# Says so when target, of folder at row, uses (what: "links <target> of", "includes from <dir>
# of") dir, in a folder its row may not use.
function(p3d_check_use target folder row what dir)
    p3d_tree_path("${dir}" path)
    if(path STREQUAL "" OR path STREQUAL ".")
        return()
    endif()
    p3d_layer_of(${path} used used_row)
    if(used STREQUAL folder OR (used_row AND used_row LESS row))
        return()
    endif()
    if(NOT used_row)
        set(used ${path})
    endif()
    math(EXPR index "${row} - 1")
    list(GET P3D_LAYERS ${index} row_folders)
    message(SEND_ERROR "${target} (${folder}) ${what} ${used}, a folder its row may not use: row "
                       "${row} of P3D_LAYERS in cmake/Layers.cmake, \"${row_folders}\", uses "
                       "its own folder and the rows below it.")
endfunction()

# Every target of the project, in every folder, is held against the table: its links and its
# include folders. Sources include by name only, never by a relative path, so no include reaches
# past the include folders checked here.
function(p3d_check_layers)
    set(row 0)
    foreach(folders IN LISTS P3D_LAYERS)
        math(EXPR row "${row} + 1")
        string(REPLACE " " ";" folders "${folders}")
        foreach(folder IN LISTS folders)
            set(p3d_row_${folder} ${row})
        endforeach()
    endforeach()

    set(dirs ${CMAKE_SOURCE_DIR})
    set(targets)
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(more DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND targets ${more})
        list(APPEND dirs ${subdirs})
    endwhile()

    foreach(target IN LISTS targets)
        get_target_property(dir ${target} SOURCE_DIR)
        p3d_tree_path(${dir} path)
        if(path STREQUAL ".")
            continue()
        endif()
        p3d_layer_of(${path} folder row)
        if(NOT row)
            message(SEND_ERROR "${target} is made in ${path}, which is in no row of P3D_LAYERS in "
                               "cmake/Layers.cmake: give the folder its place there.")
            continue()
        endif()
        get_target_property(links ${target} LINK_LIBRARIES)
        get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
        # A private link of a static library is also in its interface, as $<LINK_ONLY:…>.
        list(TRANSFORM interface REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1")
        list(APPEND links ${interface})
        list(REMOVE_DUPLICATES links)
        foreach(link IN LISTS links)
            if(NOT TARGET "${link}")
                continue()
            endif()
            get_target_property(imported ${link} IMPORTED)
            if(NOT imported)
                get_target_property(link_dir ${link} SOURCE_DIR)
                p3d_check_use(${target} ${folder} ${row} "links ${link} of" ${link_dir})
            endif()
        endforeach()
        get_target_property(includes ${target} INCLUDE_DIRECTORIES)
        get_target_property(public_includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
        foreach(include IN LISTS includes public_includes)
            string(REGEX REPLACE "^\\$<BUILD_INTERFACE:(.*)>$" "\\1" include "${include}")
            if(IS_ABSOLUTE "${include}")
                p3d_check_use(${target} ${folder} ${row} "includes from ${include} of"
                              ${include})
            endif()
        endforeach()
    endforeach()

    string(REPLACE " " ";" folders "${P3D_LAYERS}")
    set(globs)
    foreach(folder IN LISTS folders)
        list(APPEND globs ${CMAKE_SOURCE_DIR}/${folder}/*.c ${CMAKE_SOURCE_DIR}/${folder}/*.cpp
             ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    endforeach()
    file(GLOB_RECURSE sources ${globs})
    list(REMOVE_DUPLICATES sources)
    foreach(source IN LISTS sources)
        file(STRINGS ${source} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\./")
        if(climbing)
            message(SEND_ERROR "${source}: ${climbing}: sources include by name, never by a "
                               "relative path out of their folder")
        endif()
    endforeach()
endfunction()
