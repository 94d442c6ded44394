# Writes the installer's file list for the folder that went into the zip:
# two macros, one that installs every file of it and one that removes
# exactly those files again, so that uninstalling never touches anything
# else in the folder the user chose.
#   cmake -DFOLDER=<folder> -DOUTPUT=<files.nsh> -P nsis_files.cmake
file(GLOB_RECURSE files RELATIVE ${FOLDER} ${FOLDER}/*)
list(SORT files)

set(install "!macro TIMER_INSTALL_FILES\n")
set(remove "!macro TIMER_REMOVE_FILES\n")
set(dirs "")
set(current_dir "-")
foreach(file IN LISTS files)
    get_filename_component(dir "${file}" DIRECTORY)
    string(REPLACE "/" "\\" windows_file "${file}")
    string(REPLACE "/" "\\" windows_dir "${dir}")
    if(NOT dir STREQUAL current_dir)
        set(current_dir "${dir}")
        if(dir STREQUAL "")
            string(APPEND install "  SetOutPath \"$INSTDIR\"\n")
        else()
            string(APPEND install "  SetOutPath \"$INSTDIR\\${windows_dir}\"\n")
            list(APPEND dirs "${windows_dir}")
        endif()
    endif()
    string(APPEND install "  File \"${FOLDER}/${file}\"\n")
    string(APPEND remove "  Delete \"$INSTDIR\\${windows_file}\"\n")
endforeach()
list(REMOVE_DUPLICATES dirs)
# Inner folders go before the folders that hold them.
list(REVERSE dirs)
foreach(dir IN LISTS dirs)
    string(APPEND remove "  RMDir \"$INSTDIR\\${dir}\"\n")
endforeach()
string(APPEND install "  SetOutPath \"$INSTDIR\"\n!macroend\n")
string(APPEND remove "!macroend\n")
file(WRITE ${OUTPUT} "${install}${remove}")
