# The auxiliary data files, built into the program's data folder bin/Data/ by
# AuxDataBuilder from the PENELOPE-2018 tables and ENDF/B-VIII.1, and the
# per-element bremsstrahlung text tables that Sarvetto splits from the binary
# file (bin/Data/Brems_angular_prob_dens/). Without the sources the build goes
# on and says which files it did not make.
set(TQ_AUX_SOURCES "${CMAKE_SOURCE_DIR}/../shared/data/sources" CACHE PATH
    "Folder holding penelope-2018/, the tables the auxiliary data files are built from")
set(TQ_AUX_ENDF "${TQ_SHARED_DATA}/endf" CACHE PATH
    "ENDF/B-VIII.1 library folder the auxiliary data files are built from")

set(TQ_AUX_DATA_FOLDER "${CMAKE_BINARY_DIR}/bin/Data")
set(_aux_files ElasticDPW_totalCS.dat ElasticDPW_angularDistr.dat IonDWBA.dat Brems_angular_prob_dens.dat
               EEDL_elastic.dat)
set(_penelope "${TQ_AUX_SOURCES}/penelope-2018")
set(_brems_last_table "${TQ_AUX_DATA_FOLDER}/Brems_angular_prob_dens/100-Fm_brems_angular_prob_dens.txt")

if(EXISTS "${_penelope}/pdbrang.p18" AND EXISTS "${TQ_AUX_ENDF}/electrons/e-100_Fm_000.endf")
  list(TRANSFORM _aux_files PREPEND "${TQ_AUX_DATA_FOLDER}/" OUTPUT_VARIABLE _aux_outputs)
  add_custom_command(
    OUTPUT ${_aux_outputs} "${TQ_AUX_DATA_FOLDER}/PENELOPE_NOTICE.txt" "${_brems_last_table}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${TQ_AUX_DATA_FOLDER}"
    COMMAND AuxDataBuilder "${_penelope}" "${TQ_AUX_ENDF}" "${TQ_AUX_DATA_FOLDER}"
    COMMAND ${CMAKE_COMMAND} -DSARVETTO=$<TARGET_FILE:Sarvetto> -DDATA_FOLDER=${TQ_AUX_DATA_FOLDER}
            -P "${CMAKE_SOURCE_DIR}/cmake/RunSarvetto.cmake"
    DEPENDS AuxDataBuilder Sarvetto "${_penelope}/PROVENANCE.md" "${_penelope}/pdbrang.p18"
            "${CMAKE_SOURCE_DIR}/cmake/RunSarvetto.cmake"
    COMMENT "Building the auxiliary data files in ${TQ_AUX_DATA_FOLDER}"
    VERBATIM)
  add_custom_target(aux_data ALL DEPENDS ${_aux_outputs} "${_brems_last_table}")
  message(STATUS "Auxiliary data files: built from ${_penelope} and ${TQ_AUX_ENDF}")
else()
  list(JOIN _aux_files ", " _aux_list)
  set(_aux_missing "Auxiliary data sources not found (TQ_AUX_SOURCES=${TQ_AUX_SOURCES}, TQ_AUX_ENDF=${TQ_AUX_ENDF}): ${_aux_list} and the bremsstrahlung text tables are not made")
  message(STATUS "${_aux_missing}")
  add_custom_target(aux_data ALL COMMAND ${CMAKE_COMMAND} -E echo "${_aux_missing}" VERBATIM)
endif()
