# Runs Sarvetto in the data folder, where it splits Brems_angular_prob_dens.dat
# into the text tables of Brems_angular_prob_dens/, and puts the licence notice
# of the tables' sources beside them. Sarvetto prints nothing when it succeeds.
#   cmake -DSARVETTO=<program> -DDATA_FOLDER=<folder> -P RunSarvetto.cmake
execute_process(COMMAND "${SARVETTO}" WORKING_DIRECTORY "${DATA_FOLDER}"
                OUTPUT_VARIABLE _output ERROR_VARIABLE _errors RESULT_VARIABLE _code)
set(_last "${DATA_FOLDER}/Brems_angular_prob_dens/100-Fm_brems_angular_prob_dens.txt")
if(NOT _code EQUAL 0 OR NOT _output STREQUAL "" OR NOT EXISTS "${_last}")
  message(FATAL_ERROR "Sarvetto could not split ${DATA_FOLDER}/Brems_angular_prob_dens.dat: ${_output}${_errors}")
endif()
file(COPY_FILE "${DATA_FOLDER}/PENELOPE_NOTICE.txt" "${DATA_FOLDER}/Brems_angular_prob_dens/PENELOPE_NOTICE.txt")
# The tables are newer than the binary file they come from.
file(TOUCH_NOCREATE "${_last}")
