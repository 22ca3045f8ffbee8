// Resource ids of ZRVPropHelper. Included by ZRVPropHelper.rc and by C++ code, so it may hold
// nothing but preprocessor definitions.
#ifndef ZRVPROPHELPER_RESOURCES_RESOURCE_H_
#define ZRVPROPHELPER_RESOURCES_RESOURCE_H_

// A page id is at once its dialog template id and the string id of its tab title.
#define IDD_GENERAL_PAGE 105
#define IDD_CATEGORIES_PAGE 106
#define IDD_LIFECYCLE_PAGE 107
#define IDS_GENERAL_PAGE_TITLE 105
#define IDS_CATEGORIES_PAGE_TITLE 106
#define IDS_LIFECYCLE_PAGE_TITLE 107

// Reminder list entries, in list order; the stored reminder value is the list index.
#define IDS_REMINDER_NONE 1009
#define IDS_REMINDER_7_DAYS 1010
#define IDS_REMINDER_14_DAYS 1011

// Formats of the size field; both take one unsigned 64-bit value.
#define IDS_SIZE_KB_FORMAT 1036
#define IDS_SIZE_BYTES_FORMAT 1037

// What a page tells the user when the store or the file system kept none or
// only part of what the page shows (the sheet then stays open).
#define IDS_GENERAL_NOT_SAVED 1050
#define IDS_CATEGORIES_NOT_SAVED 1051
#define IDS_LIFECYCLE_NOT_SAVED 1052

// Registry scripts (resource type "REGISTRY"), one per handler class.
#define IDR_ZRVPROPSHEET_LIFECYCLE 101
#define IDR_ZRVPROPSHEET_SUMMARY 102
#define IDR_ZRVPROPSHEET_CATEGORY 103

// Type library (resource type "TYPELIB"); 1 is the index type-library loaders assume for a module.
#define IDR_ZRVPROPHELPER_TYPELIB 1

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// General page (template 105).
#define IDC_GENERAL_ICON 1040
#define IDC_GENERAL_NAME 1030
#define IDC_GENERAL_TYPE_LABEL 1025
#define IDC_GENERAL_TYPE 1032
#define IDC_GENERAL_LOCATION_LABEL 1024
#define IDC_GENERAL_LOCATION 1031
#define IDC_GENERAL_SIZE_LABEL 1026
#define IDC_GENERAL_SIZE 1033
#define IDC_GENERAL_CREATED_LABEL 1027
#define IDC_GENERAL_CREATED 1034
#define IDC_GENERAL_MODIFIED_LABEL 1028
#define IDC_GENERAL_MODIFIED 1035
#define IDC_GENERAL_ACCESSED_LABEL 1036
#define IDC_GENERAL_ACCESSED 1037
#define IDC_GENERAL_ATTRIBUTES_LABEL 1039
#define IDC_GENERAL_READONLY 319
#define IDC_GENERAL_HIDDEN 1038

// Categories page (template 106).
#define IDC_CATEGORIES_TITLE_LABEL 406
#define IDC_CATEGORIES_TITLE 312
#define IDC_CATEGORIES_SUBJECT_LABEL 308
#define IDC_CATEGORIES_SUBJECT 313
#define IDC_CATEGORIES_AUTHOR_LABEL 309
#define IDC_CATEGORIES_AUTHOR 315
#define IDC_CATEGORIES_AVAILABLE_FRAME 1014
#define IDC_CATEGORIES_ADD 1016
#define IDC_CATEGORIES_REMOVE 1017
#define IDC_CATEGORIES_ASSIGNED_FRAME 1015
#define IDC_CATEGORIES_COMMENTS 1013
#define IDC_CATEGORIES_NOTICE 1021

// Life Cycle page (template 107).
#define IDC_LIFECYCLE_EXPIRE_NONE 1000
#define IDC_LIFECYCLE_EXPIRE_1_YEAR 1001
#define IDC_LIFECYCLE_EXPIRE_2_YEARS 1002
#define IDC_LIFECYCLE_EXPIRE_3_YEARS 1003
#define IDC_LIFECYCLE_EXPIRE_CUSTOM 1004
#define IDC_LIFECYCLE_CUSTOM_DATE 1008
#define IDC_LIFECYCLE_EXPIRATION_LABEL 1041
#define IDC_LIFECYCLE_SEPARATOR 310
#define IDC_LIFECYCLE_ARCHIVE_NOTE 1042
#define IDC_LIFECYCLE_REMINDER_LABEL 1043
#define IDC_LIFECYCLE_REMINDER 318
#define IDC_LIFECYCLE_BURN_DISC 319

#endif  // ZRVPROPHELPER_RESOURCES_RESOURCE_H_
