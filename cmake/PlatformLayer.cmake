# platform/ stands in for the operating system, below everything of ours. Its targets get no
# include path into the folders above it, so a header from there does not compile; this keeps it
# so: it stops the configuration when a platform target links or includes anything from above,
# or a platform source climbs out of the tree by a relative include.
function(p3d_check_platform_layer)
    set(platform ${CMAKE_SOURCE_DIR}/platform)
    get_property(targets DIRECTORY ${platform} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(links ${target} LINK_LIBRARIES)
        get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
        foreach(link IN LISTS links interface)
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
            if(NOT TARGET "${link}")
                continue()
            endif()
            get_target_property(imported ${link} IMPORTED)
            if(imported)
                continue()
            endif()
            get_target_property(dir ${link} SOURCE_DIR)
            # The top folder holds only build settings (the warnings).
            if(NOT dir STREQUAL CMAKE_SOURCE_DIR AND NOT dir MATCHES "^${platform}(/|$)")
                message(FATAL_ERROR "${target} (platform/) links ${link} from ${dir}: the platform "
                                    "layer may use only itself and system libraries")
            endif()
        endforeach()
        get_target_property(includes ${target} INCLUDE_DIRECTORIES)
        get_target_property(public_includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
        foreach(dir IN LISTS includes public_includes)
            if(dir MATCHES "^${CMAKE_SOURCE_DIR}/" AND NOT dir MATCHES "^${platform}(/|$)")
                message(FATAL_ERROR "${target} (platform/) includes from ${dir}: the platform "
                                    "layer may include only itself and system headers")
            endif()
        endforeach()
    endforeach()

    file(GLOB_RECURSE sources ${platform}/*.cpp ${platform}/*.h)
    foreach(source IN LISTS sources)
        file(STRINGS ${source} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
        if(climbing)
            message(FATAL_ERROR "${source}: ${climbing}: platform sources include by name, "
                                "never by a relative path out of their folder")
        endif()
    endforeach()
endfunction()
