# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a manual page with scdoc, without hyphenation: scdoc asks for none,
# but groff's man macros turn it back on at .TH, and a path, a JSON field or
# a command broken with a hyphen reads and copies wrong.
# cmake -DSCDOC=scdoc -DINGRESSO=page.1.scd -DUSCITA=page.1 -P manuale.cmake

execute_process(COMMAND ${SCDOC} INPUT_FILE ${INGRESSO} OUTPUT_VARIABLE roff
                RESULT_VARIABLE esito)
if(NOT esito EQUAL 0)
    message(FATAL_ERROR "scdoc failed on ${INGRESSO}")
endif()
string(REGEX REPLACE "\n(\\.TH [^\n]*\n)" "\n\\1.nh\n" senza_sillabe "${roff}")
if(senza_sillabe STREQUAL roff)
    message(FATAL_ERROR "${INGRESSO}: no .TH line in scdoc's output")
endif()
# Aside first: a page that fails half-way must not be taken as built.
file(WRITE ${USCITA}.tmp "${senza_sillabe}")
file(RENAME ${USCITA}.tmp ${USCITA})
