/* Resource identifiers and the texts of the string table. The resource
   script and the native build both take the strings from here, so there is
   one copy of every text. Plain C preprocessor only: windres reads this. */
#ifndef VOREL_RESOURCE_IDS_H
#define VOREL_RESOURCE_IDS_H

#define IDS_MANUFACTURER 0
#define IDS_PRODUCT_FAMILY 1
#define IDS_PRODUCT_NAME 2
#define IDS_VERSION_INFO 3
#define IDS_ABOUTBOX 101
#define IDS_BW_DRAWING 102
#define IDS_BW_PHOTO 103
#define IDS_COLOR_PHOTO 104
#define IDS_MEMORY_ERROR 105
#define IDS_OPEN_FAILED 106
#define IDS_NO_COMMUNICATION 107
#define IDS_NO_HALFTONE 108
#define IDS_FEEDER_JAM 109
#define IDS_CHECK_FEEDER 110
#define IDS_FEEDER_QUESTION 111
#define IDS_NO_PREVIEW_WITH_FEEDER 112
#define IDS_FRAME_CANNOT_BE_SCANNED 113
#define IDS_SCAN_INCOMPLETE 114
#define IDS_SETUP_OK 115

#define TEXT_MANUFACTURER "Pellam & Kestrane Company"
#define TEXT_PRODUCT_FAMILY "TWAIN"
#define TEXT_PRODUCT_NAME "Vorel Source"
#define TEXT_VERSION_INFO "31 July 1997"
#define TEXT_ABOUTBOX "&About Vorel Source"
#define TEXT_BW_DRAWING "BW Drawing"
#define TEXT_BW_PHOTO "BW Photo"
#define TEXT_COLOR_PHOTO "Color Photo"
#define TEXT_MEMORY_ERROR "Memory error.  Close some applications and retry."
#define TEXT_OPEN_FAILED                                                                \
    "Unable to Open scanner. Make sure scanner drivers are installed correctly, and no " \
    "other scanning applications are running."
#define TEXT_NO_COMMUNICATION \
    "Failure to communicate with scanner. Be sure scanner is on and properly connected."
#define TEXT_NO_HALFTONE "Your scanner doesn't support Halftone mode."
#define TEXT_FEEDER_JAM "Document Feeder Jam"
#define TEXT_CHECK_FEEDER "Check Document Feeder"
#define TEXT_FEEDER_QUESTION                                                                  \
    "Your ADF is loaded and will be used for this scan. If you need to select a region to " \
    "scan or change the Image Type and haven't yet, please press 'Cancel' and do so now. "  \
    "Otherwise, press 'OK' to scan from the ADF."
#define TEXT_NO_PREVIEW_WITH_FEEDER "You can't perform a preview scan while using the ADF."
#define TEXT_FRAME_CANNOT_BE_SCANNED                                                          \
    "This region cannot be scanned at this resolution in this image type. Choose a smaller " \
    "region, a lower resolution or another image type (or scan from the glass, not the ADF)."
#define TEXT_SCAN_INCOMPLETE \
    "The scan was incomplete: the scanner stopped before the end of the image. Nothing was delivered."
/* The scan button's text while the dialog only sets a scan up. */
#define TEXT_SETUP_OK "OK"

/* Dialogs, controls, icon. */
#define IDD_ABOUTBOX 100
#define IDD_SOURCE_DIALOG 129
#define IDI_SOURCE 131
#define IDB_PREVIEW 139
#define IDC_PREVIEW_SCAN 1000
#define IDC_FINAL_SCAN 1001
#define IDC_IMAGE_TYPE 1002
#define IDC_PREVIEW 1003
#define IDC_RESOLUTION 1004
#define IDC_ROTATION 1005
#define IDC_PAGE_SIZE 1006
#define IDC_BRIGHTNESS 1007
#define IDC_CONTRAST 1008
#define IDC_BRIGHTNESS_VALUE 1009
#define IDC_CONTRAST_VALUE 1010
#define IDM_ABOUTBOX 16

#endif
