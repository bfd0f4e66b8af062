# Assembles the installable pack (cmake -P):
#   OUT        the folder to fill (emptied first)
#   PACK       the source folder pack/ (setup.ei1, *.eil, setup.rtf, setup.bmp, xml/)
#   SETUP      the setup program; UNINSTALL the uninstaller, shipped as setup.dat
#   PLUGINS    the plug-in files to install into the host's Plugins\RTFx folder
#   TOOL       the mask preparation tool (optional), installed beside the descriptors
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/files/XML/VXEraser")
get_filename_component(setup_name "${SETUP}" NAME)
file(COPY "${SETUP}" DESTINATION "${OUT}")
file(COPY_FILE "${UNINSTALL}" "${OUT}/setup.dat")
file(GLOB languages "${PACK}/*.eil")
file(COPY "${PACK}/setup.ei1" "${PACK}/setup.rtf" "${PACK}/setup.bmp" ${languages} DESTINATION "${OUT}")
file(GLOB descriptors "${PACK}/xml/*.xml")
file(COPY ${descriptors} DESTINATION "${OUT}/files/XML")
foreach(plugin ${PLUGINS})
  file(COPY "${plugin}" DESTINATION "${OUT}/files")
endforeach()
if(TOOL)
  file(COPY "${TOOL}" DESTINATION "${OUT}/files/XML")
endif()
