# The texts of the calibration alert, compiled from app/translations/*.ts and
# embedded in the driver under :/i18n (installTranslations() loads them).
set(ZORVAN_TS_FILES ${CMAKE_CURRENT_LIST_DIR}/translations/zorvan_en.ts)
if(TARGET zorvan)
  qt_add_translations(zorvan TS_FILES ${ZORVAN_TS_FILES} RESOURCE_PREFIX /i18n)
endif()
