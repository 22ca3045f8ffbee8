#pragma once
// String-table entries of the support tests. Lengths sit on either side of
// the loader's 256-character read steps.

#define IDS_TEST_SHORT 9000
#define IDS_TEST_LEN255 9001
#define IDS_TEST_LEN256 9002
#define IDS_TEST_LEN700 9003
#define IDS_TEST_LEN1000 9004
#define IDS_TEST_KB_FORMAT 9005
#define IDS_TEST_MISSING 9099
