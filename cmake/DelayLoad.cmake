# System DLLs the program loads on first use only (the linker's delay-load
# imports, helper from libmingwex): a quiet run that shows nothing never
# loads COM, accessibility, common controls or CNG. Each is an imported
# target of the library's own name, so every target that links "ole32" and
# the rest gets the delay-loaded import library, made at configure time from
# the toolchain's own import library.
if(NOT ZR_WINDOWS)
  return()
endif()
find_program(ZR_DLLTOOL ${ZR_TRIPLET}-dlltool REQUIRED)
find_program(ZR_NM ${ZR_TRIPLET}-nm REQUIRED)
set(delay_dir ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${delay_dir})
foreach(dll ole32 oleaut32 oleacc urlmon comctl32 bcrypt shell32 userenv wininet)
  set(out ${delay_dir}/lib${dll}.a)
  if(NOT EXISTS ${out})
    find_file(implib lib${dll}.a PATHS ${CMAKE_FIND_ROOT_PATH}/lib NO_DEFAULT_PATH REQUIRED)
    execute_process(COMMAND ${ZR_NM} ${implib} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    unset(implib CACHE)
    # 32-bit names keep their stdcall decoration for the linker and lose it
    # in the import (-k).
    string(REGEX MATCHALL " I __imp__?[A-Za-z0-9_@]+" names "${symbols}")
    list(TRANSFORM names REPLACE " I __imp_" "")
    set(kill_at)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      list(TRANSFORM names REPLACE "^_" "")
      set(kill_at -k)
    endif()
    list(REMOVE_DUPLICATES names)
    list(JOIN names "\n" exports)
    file(WRITE ${delay_dir}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${ZR_DLLTOOL} ${kill_at} --input-def ${delay_dir}/${dll}.def --dllname ${dll}.dll
                            --output-delaylib ${out} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  add_library(${dll} STATIC IMPORTED GLOBAL)
  set_target_properties(${dll} PROPERTIES IMPORTED_LOCATION ${out})
endforeach()
