# SPDX-License-Identifier: GPL-3.0-or-later
# Turns the program into a macOS application bundle. Called from the directory
# that defines the target, so that its build steps may be attached to it.

set(OSTREL_BUNDLED_ADB "" CACHE FILEPATH
    "An adb executable to copy into the bundle's Contents/Resources/adb (empty: none)")

# The further arguments are the programs `target` starts; they are built
# straight into the bundle, beside the bundle's executable.
function(ostrel_make_bundle target)
    set_target_properties(${ARGN} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/Ostrel Dravik.app/Contents/MacOS")
    set_target_properties(${target} PROPERTIES
        MACOSX_BUNDLE ON
        OUTPUT_NAME "Ostrel Dravik"
        MACOSX_BUNDLE_INFO_PLIST "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Info.plist.in"
        MACOSX_BUNDLE_BUNDLE_NAME "Ostrel Dravik"
        MACOSX_BUNDLE_GUI_IDENTIFIER "com.ostrel.dravik"
        MACOSX_BUNDLE_SHORT_VERSION_STRING "${PROJECT_VERSION}"
        MACOSX_BUNDLE_BUNDLE_VERSION "${PROJECT_VERSION}")
    # The licence travels with the program, in Contents/Resources/LICENSE.
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/LICENSE)
    set_source_files_properties(${PROJECT_SOURCE_DIR}/LICENSE PROPERTIES
        MACOSX_PACKAGE_LOCATION Resources)
    if(OSTREL_BUNDLED_ADB)
        if(NOT EXISTS "${OSTREL_BUNDLED_ADB}")
            message(FATAL_ERROR "OSTREL_BUNDLED_ADB names no file: ${OSTREL_BUNDLED_ADB}")
        endif()
        # The program looks for Contents/Resources/adb before the SDK and PATH.
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E make_directory
                "$<TARGET_BUNDLE_CONTENT_DIR:${target}>/Resources"
            COMMAND ${CMAKE_COMMAND} -E copy "${OSTREL_BUNDLED_ADB}"
                "$<TARGET_BUNDLE_CONTENT_DIR:${target}>/Resources/adb"
            COMMAND chmod 755 "$<TARGET_BUNDLE_CONTENT_DIR:${target}>/Resources/adb"
            COMMENT "Copying adb into the application bundle"
            VERBATIM)
    endif()
endfunction()
