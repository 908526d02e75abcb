// The data-file readers of DATA, LOAD and MAKE and the text SAVE writes,
// run on in-memory files with the messages caught.
#include "files/data_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

#include "models/evaluate.h"
#include "text/format.h"

namespace tarva {
namespace {

struct Reader {
    std::ostringstream text;
    OutputSink out{text};
    DataSet data;
    FitState fit;

    bool data_file(const std::string& file, char qualifier = ' ') {
        std::istringstream in(file);
        RecordReader r(in);
        return read_data_file(r, "t.fit", qualifier, data, fit, out);
    }
    bool column(const std::string& file, int n) {
        std::istringstream in(file);
        RecordReader r(in);
        return read_column_file(r, "t.d", n, data, out);
    }
    bool table(const std::string& file, int code, const std::string& name = "run7.dat") {
        begin_table(name, data, fit);
        std::istringstream in(file);
        RecordReader r(in);
        return read_table(r, name, code, data, out);
    }
    std::string messages() {
        std::string m = text.str();
        text.str("");
        return m;
    }
};

std::string points(int n, double x0 = 1.0) {
    std::string s;
    for (int i = 0; i < n; ++i) s += free_real(x0 + i) + "," + free_real(2.0 * i) + free_real(0.5) + "\n";
    return s;
}

const std::string kHeader = "Caption text  \nEnergy (keV)\nCounts\n";

TEST(DataFile, PlainReadFillsDataSetAndFitState) {
    Reader r;
    r.fit.value[40] = 7.0;
    ASSERT_TRUE(r.data_file(kHeader + " 18 3\n 1.5 -2.25\n 0.125\n 1 0 1\n -1\n" + points(3)));
    EXPECT_EQ(r.messages(), " Caption : Caption text\n  X axis : Energy (keV)\n  Y axis : Counts\n\n"
                            "    3 points in data file.\n\n");
    EXPECT_EQ(r.data.caption.trimmed(), "Caption text");
    EXPECT_EQ(r.data.x_label.trimmed(), "Energy (keV)");
    EXPECT_EQ(r.data.count, 3);
    EXPECT_EQ(r.data.X[2], 3.0f);
    EXPECT_EQ(r.data.Y[2], 4.0f);
    EXPECT_EQ(r.data.SIGMA[2], 0.5f);
    EXPECT_EQ(r.fit.function, 18);
    EXPECT_EQ(r.fit.nparams, 3);
    EXPECT_EQ(r.fit.value[1], -2.25);
    EXPECT_EQ(r.fit.value[2], 0.125);
    EXPECT_EQ(r.fit.value[40], 0.0); // all 50 slots cleared
    EXPECT_EQ(r.fit.mask[0], 1);
    EXPECT_EQ(r.fit.mask[1], 0);
    EXPECT_EQ(r.fit.mask[2], 1);
    // -1: the log-Y pair, and the dimensions go back to 0.
    EXPECT_EQ(r.data.log_y, 1);
    EXPECT_EQ(r.data.log_scale_y, 1);
    EXPECT_EQ(r.data.log_x, 0);
    EXPECT_EQ(r.data.dimensions, 0);
}

TEST(DataFile, EmptyFileLeavesTheDataSet) {
    Reader r;
    r.data.count = 5;
    r.data.caption = "old";
    EXPECT_FALSE(r.data_file(""));
    EXPECT_EQ(r.messages(), " File t.fit empty, no new data read.\n Trying again after a rewind.\n"
                            " File t.fit empty, no new data read.\n");
    EXPECT_EQ(r.data.count, 5);
    EXPECT_EQ(r.data.caption.trimmed(), "old");
}

TEST(DataFile, ShortParameterRecordRunsIntoTheMasks) {
    Reader r;
    // Three parameters announced, two given: the masks line completes them,
    // then masks and dimensions fail in turn; the points are still read.
    EXPECT_FALSE(r.data_file(kHeader + " 7 3\n 1. 2.\n 1 1 1\n 0\n" + points(4)));
    const std::string m = r.messages();
    EXPECT_NE(m.find(" Error reading parameter masks.\n"), std::string::npos);
    EXPECT_NE(m.find(" Error reading number of dimensions, this suggests that\n"
                     " insufficient parameters or parameter masks were given.\n"
                     " There should have been  3 of each.\n"),
              std::string::npos);
    EXPECT_NE(m.find(" As  2 errors were detected in this data file,\n"
                     " the data may not have been read in correctly.\x07\n"),
              std::string::npos);
    EXPECT_EQ(r.fit.value[2], 1.0);
    EXPECT_EQ(r.data.count, 2); // two point lines went to masks and dimensions
    EXPECT_EQ(r.data.X[0], 3.0f);
}

TEST(DataFile, FunctionRecordChecks) {
    Reader r;
    EXPECT_FALSE(r.data_file(kHeader + " 0 60\n" + std::string(60 * 2, ' ') + "\n\n0\n" + points(1)));
    const std::string m = r.messages();
    EXPECT_NE(m.find(" To many parameters (   60) maximum possible = 50\n"), std::string::npos);
    EXPECT_NE(m.find(" Negative or zero function number (    0) it must be positive.\n"), std::string::npos);
    EXPECT_EQ(r.fit.function, 5);
    EXPECT_EQ(r.fit.nparams, 50);

    Reader big;
    EXPECT_FALSE(big.data_file(kHeader + " 99 1\n 1.\n 1\n 0\n" + points(1)));
    EXPECT_EQ(big.fit.function, 5);
    EXPECT_NE(big.messages().find("As  1 errors"), std::string::npos);
}

TEST(DataFile, BadPointRecordsAreCountedAndSkipped) {
    Reader r;
    EXPECT_FALSE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n1 2 3\nx y z\n4 5 6\nNaN 1 1\n7 8 9\n"));
    const std::string m = r.messages();
    EXPECT_NE(m.find(" Error in X,Y,DelY data at line    1\n"), std::string::npos);
    EXPECT_NE(m.find(" Error in X,Y,DelY data at line    2\n"), std::string::npos);
    EXPECT_NE(m.find("    3 points in data file.\n\n As  2 errors"), std::string::npos);
    EXPECT_EQ(r.data.count, 3);
    EXPECT_EQ(r.data.X[2], 7.0f);
}

TEST(DataFile, ExactlyAndMoreThan1024Points) {
    for (int n : {1024, 1100}) {
        Reader r;
        ASSERT_TRUE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n" + points(n)));
        EXPECT_EQ(r.data.count, 1024);
        EXPECT_EQ(r.data.X[1023], 1024.0f);
        EXPECT_NE(r.messages().find(" Too many points in data file, end at 1024.\n 1024 points in data file.\n"),
                  std::string::npos);
    }
}

TEST(DataFile, NoPointsFails) {
    Reader r;
    r.data.count = 9;
    EXPECT_FALSE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n"));
    EXPECT_NE(r.messages().find(" Error in X,Y,DelY data, no data has been read in.\n\n"), std::string::npos);
    EXPECT_EQ(r.data.count, 0);
}

TEST(DataFile, EndInsideTheHeaderRecordsIsAReadError) {
    Reader r;
    EXPECT_FALSE(r.data_file("only a caption\n"));
    const std::string m = r.messages();
    EXPECT_NE(m.find(" Error reading function parameters.\n"), std::string::npos);
    EXPECT_NE(m.find(" Error in X,Y,DelY data, no data has been read in.\n"), std::string::npos);
    EXPECT_EQ(r.data.caption.trimmed(), "only a caption");
    EXPECT_EQ(r.fit.function, 5);
}

TEST(DataFile, AppendKeepsFitStateAndSkipsTheWholeFitPart) {
    Reader r;
    ASSERT_TRUE(r.data_file(kHeader + " 18 2\n 4. 5.\n 1 1\n 0\n" + points(2)));
    r.messages();
    // The new file's first point must be its first point line, not the
    // dimensions record.
    ASSERT_TRUE(r.data_file("other\nx\ny\n 3 4\n 1. 2.\n 3. 4.\n 0 0\n 0 0\n -2\n" + points(2, 10.0), 'A'));
    EXPECT_EQ(r.messages(), " Appending new data file to old.\n    4 points in data file.\n\n");
    EXPECT_EQ(r.data.count, 4);
    EXPECT_EQ(r.data.X[2], 10.0f);
    EXPECT_EQ(r.data.X[3], 11.0f);
    EXPECT_EQ(r.data.caption.trimmed(), "Caption text");
    EXPECT_EQ(r.data.log_x, 0);
    EXPECT_EQ(r.fit.function, 18);
    EXPECT_EQ(r.fit.value[0], 4.0);
}

TEST(DataFile, AppendToAFullDataSet) {
    Reader r;
    r.data.count = 1024;
    EXPECT_TRUE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n" + points(2), 'A'));
    EXPECT_EQ(r.messages(), " Appending new data file to old.\n Insufficient memory for more data.\n");
    EXPECT_EQ(r.data.count, 1024);
}

TEST(DataFile, NewPointsOnly) {
    Reader r;
    r.fit.function = 12;
    r.data.count = 50;
    ASSERT_TRUE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n" + points(3, 5.0), 'N'));
    EXPECT_EQ(r.data.count, 3);
    EXPECT_EQ(r.data.X[0], 5.0f);
    EXPECT_EQ(r.fit.function, 12);
}

TEST(DataFile, FitStateOnly) {
    Reader r;
    r.fit.value[5] = 9.0;
    r.data.count = 2;
    ASSERT_TRUE(r.data_file(kHeader + " 21 4\n 1. 2. 3. 4.\n 1 1 0 1\n 0\n" + points(1), 'F'));
    EXPECT_EQ(r.messages(), "\n Function 21 with  4 variables read.\n Variables above  4 were not reset.\n");
    EXPECT_EQ(r.fit.function, 21);
    EXPECT_EQ(r.fit.value[3], 4.0);
    EXPECT_EQ(r.fit.value[5], 9.0);
    EXPECT_EQ(r.data.count, 2);
}

// Current points (1,10,1) (2,20,2) (3,30,3) combined with a new file.
Reader combined(const std::string& new_points, char q) {
    Reader r;
    r.data.count = 3;
    for (int i = 0; i < 3; ++i) {
        r.data.X[static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
        r.data.Y[static_cast<std::size_t>(i)] = static_cast<float>(10 * (i + 1));
        r.data.SIGMA[static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
    }
    EXPECT_TRUE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n" + new_points, q));
    return r;
}

TEST(DataFile, CombiningQualifiers) {
    const std::string file = "1 2 0.5\n2 4 0.5\n3 5 0.5\n";
    Reader s = combined(file, 'S');
    EXPECT_EQ(s.messages(), " Subtracting new data file from old.\n");
    EXPECT_EQ(s.data.Y[1], 16.0f);
    EXPECT_EQ(s.data.SIGMA[1], 2.0f);
    Reader a = combined(file, '+');
    EXPECT_EQ(a.data.Y[2], 35.0f);
    Reader m = combined(file, 'M');
    EXPECT_EQ(m.data.Y[1], 80.0f);
    EXPECT_EQ(m.data.SIGMA[1], 2.0f * 4.0f + 0.5f * 20.0f);
    Reader d = combined(file, 'D');
    EXPECT_EQ(d.data.Y[1], 5.0f);
    EXPECT_FLOAT_EQ(d.data.SIGMA[1], (0.5f * 20.0f + 2.0f * 4.0f) / 16.0f);
    EXPECT_EQ(d.data.caption.trimmed(), "");
}

TEST(DataFile, DivisionByZeroAndMismatchReports) {
    std::string file;
    for (int i = 0; i < 3; ++i) file += "1 0 1\n";
    Reader d = combined(file, 'D');
    const std::string m = d.messages();
    EXPECT_NE(m.find(" X mismatch at    2 Xold=  2.0000     Xnew=  1.0000     err=  1.0000    \n"), std::string::npos);
    EXPECT_NE(m.find(" Zero data point in denominator file at line   3\n"), std::string::npos);
    EXPECT_EQ(d.data.Y[2], 0.0f);
    EXPECT_EQ(d.data.SIGMA[2], 0.0f);
}

TEST(DataFile, ReportsStopAfterTenButTheWorkGoesOn) {
    Reader r;
    r.data.count = 12;
    for (std::size_t i = 0; i < 12; ++i) {
        r.data.X[i] = static_cast<float>(i);
        r.data.Y[i] = 5.0f;
        r.data.SIGMA[i] = 1.0f;
    }
    std::string file;
    for (int i = 0; i < 12; ++i) file += std::to_string(i + 100) + " 0 0\n"; // every X differs, every Y is 0
    ASSERT_TRUE(r.data_file(kHeader + " 5 1\n 0.\n 1\n 0\n" + file, 'D'));
    const std::string m = r.messages();
    auto count = [&](const std::string& what) {
        int n = 0;
        for (std::size_t p = m.find(what); p != std::string::npos; p = m.find(what, p + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("X mismatch at"), 10);
    EXPECT_EQ(count("Zero data point in denominator file at line"), 10);
    EXPECT_NE(m.find("line  10\n"), std::string::npos);
    EXPECT_EQ(m.find("line  11\n"), std::string::npos);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(r.data.Y[i], 0.0f) << i;
        EXPECT_EQ(r.data.SIGMA[i], 0.0f) << i;
    }
}

TEST(DataFile, CombiningStopsAtTheEndOfTheNewFile) {
    Reader s = combined("1 1 0\n", 'S');
    EXPECT_EQ(s.messages(), " Subtracting new data file from old.\n End of file at line     2\n");
    EXPECT_EQ(s.data.Y[0], 9.0f);
    EXPECT_EQ(s.data.Y[1], 20.0f);
    Reader e = combined("1 1 0\nbad\n", '+');
    EXPECT_EQ(e.messages(), " Adding new data file to old.\n Error in new data file at line    2\n\n");
}

TEST(ColumnFile, ReadsTheChosenColumn) {
    Reader r;
    r.data.SIGMA[0] = 3.0f;
    r.data.dimensions = -1;
    ASSERT_TRUE(r.column("cap\nxl\nyl\n1 10 100 1000\n2 20 200 2000\n", 3));
    EXPECT_EQ(r.messages(), " Caption : cap\n  X axis : xl\n  Y axis : yl\n\n    2 points in data file.\n");
    EXPECT_EQ(r.data.count, 2);
    EXPECT_EQ(r.data.X[1], 2.0f);
    EXPECT_EQ(r.data.Y[1], 2000.0f);
    EXPECT_EQ(r.data.SIGMA[0], 0.0f);
    EXPECT_EQ(r.data.dimensions, 0);
}

TEST(ColumnFile, ErrorsAndCapacity) {
    Reader r;
    EXPECT_FALSE(r.column("c\nx\ny\n1 2\nq 2\n3 4\n", 1));
    EXPECT_NE(r.messages().find(" Error in data file at line    4\n\n    2 points in data file.\n As  1 errors"),
              std::string::npos);
    std::string many;
    for (int i = 0; i < 1030; ++i) many += std::to_string(i) + " 1\n";
    Reader full;
    EXPECT_TRUE(full.column("c\nx\ny\n" + many, 1));
    EXPECT_EQ(full.data.count, 1024);
    EXPECT_NE(full.messages().find(" Too many points in data file, end at 1024.\n"), std::string::npos);
    Reader none;
    EXPECT_FALSE(none.column("c\nx\ny\n", 1));
    EXPECT_NE(none.messages().find(" Error in data, no data has been read in.\n\n"), std::string::npos);
}

TEST(Table, BeginSetsNameCaptionAndClearsLabels) {
    Reader r;
    r.fit.error[3] = 1.0;
    begin_table("run7.dat", r.data, r.fit);
    EXPECT_EQ(r.data.caption.trimmed(), "run7");
    EXPECT_EQ(r.data.file_name.trimmed(), "run7.dat");
    EXPECT_TRUE(r.data.x_label.blank());
    EXPECT_EQ(r.fit.error[3], 0.0);
    begin_table(".hidden", r.data, r.fit);
    EXPECT_EQ(r.data.caption.trimmed(), ".hidden");
}

TEST(Table, CodeFromAnswer) {
    EXPECT_EQ(table_code_from_answer(0), 3);
    EXPECT_EQ(table_code_from_answer(2), 2);
    EXPECT_EQ(table_code_from_answer(0.4), 3);
    EXPECT_EQ(table_code_from_answer(-4), -4);
    EXPECT_EQ(table_code_from_answer(-0.3), 3);
    EXPECT_EQ(table_code_from_answer(7.6), 8);
    // More values per record than the data set holds all read alike, so the
    // code stops there: answers far beyond it give a code that fits.
    EXPECT_EQ(table_code_from_answer(-2000), -(kMaxPoints + 1));
    EXPECT_EQ(table_code_from_answer(-1e30), -(kMaxPoints + 1));
    EXPECT_EQ(table_code_from_answer(1e30), std::numeric_limits<int>::max());
}

TEST(Table, ExtremeCodesReadNothingAndKeepTheDimensions) {
    for (int code : {std::numeric_limits<int>::min(), std::numeric_limits<int>::min() + 2}) {
        Reader r;
        EXPECT_FALSE(r.table("1 2 3\n", code));
        EXPECT_EQ(r.messages(), " Too many points in data file.\n\n ?QVMAKE - End of data file run7.dat\n");
        EXPECT_EQ(r.data.dimensions, 0);
    }
    Reader r;
    EXPECT_FALSE(r.table("1 2 3\n", std::numeric_limits<int>::max()));
    EXPECT_EQ(r.data.dimensions, 3);
}

TEST(Table, ThreeTwoAndOneColumns) {
    Reader r3;
    ASSERT_TRUE(r3.table("1 2 3\n4 5 6\n", 3));
    EXPECT_EQ(r3.messages(), "    2 points in data file.\n\n");
    EXPECT_EQ(r3.data.SIGMA[1], 6.0f);
    EXPECT_EQ(r3.data.dimensions, 0);
    Reader r2;
    ASSERT_TRUE(r2.table("1 2\n4 5\n", 2));
    EXPECT_EQ(r2.data.Y[1], 5.0f);
    EXPECT_EQ(r2.data.SIGMA[1], 0.0f);
    Reader r1;
    ASSERT_TRUE(r1.table("4\n-9\nbad\n16\n", 1));
    EXPECT_EQ(r1.messages(), " Format error in data file at line          3\n    3 points in data file.\n\n");
    EXPECT_EQ(r1.data.X[0], 0.0f);
    EXPECT_EQ(r1.data.X[2], 2.0f);
    EXPECT_EQ(r1.data.SIGMA[1], 3.0f);
    EXPECT_EQ(r1.data.SIGMA[2], 4.0f);
}

TEST(Table, ValuesPerRecord) {
    Reader r;
    ASSERT_TRUE(r.table("1 2 3\n4 5 6\n", -3));
    EXPECT_EQ(r.data.count, 6);
    EXPECT_EQ(r.data.X[0], 1.0f);
    EXPECT_EQ(r.data.X[5], 6.0f);
    EXPECT_EQ(r.data.Y[4], 5.0f);
    EXPECT_EQ(r.data.SIGMA[4], 0.0f);
    EXPECT_EQ(r.data.x_label.trimmed(), "Channel");
    EXPECT_EQ(r.data.y_label.trimmed(), "Counts");
    EXPECT_EQ(r.data.dimensions, 0);
    Reader wide;
    EXPECT_FALSE(wide.table("1 2 3\n", -2000));
    EXPECT_EQ(wide.messages(), " Too many points in data file.\n\n ?QVMAKE - End of data file run7.dat\n");
}

TEST(Table, EightPerRecordWithHeading) {
    Reader r;
    std::string file = "Sample A   \n";
    for (int rec = 0; rec < 3; ++rec) {
        file += std::to_string(100 + rec * 50); // later Xm values are ignored
        for (int k = 0; k < 8; ++k) file += " " + std::to_string(rec * 8 + k);
        file += "\n";
    }
    ASSERT_TRUE(r.table(file, 8));
    EXPECT_EQ(r.messages(), " Statistical errors selected.\n run7:Sample A\n\n   24 points in data file.\n\n");
    EXPECT_EQ(r.data.count, 24);
    EXPECT_EQ(r.data.X[0], 100.0f);
    EXPECT_EQ(r.data.X[23], 123.0f);
    EXPECT_EQ(r.data.SIGMA[0], 1.0f);  // at least 1
    EXPECT_EQ(r.data.SIGMA[16], 4.0f); // sqrt(16)
    EXPECT_EQ(r.data.caption.trimmed(), "^j^j^jrun7^n^n^nSample A");
    EXPECT_EQ(r.data.dimensions, 0);
}

TEST(Table, OpticalLayoutKeepsEveryPoint) {
    Reader r;
    ASSERT_TRUE(r.table("10 0 0 1\n10 0 0 2\n10 0 0 3\n20 0 0 4\n", 4));
    EXPECT_EQ(r.messages(), " Reading optical transmission data\n    4 points loaded from data file.\n");
    EXPECT_EQ(r.data.count, 4);
    EXPECT_FLOAT_EQ(r.data.X[1], 10.0f + 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(r.data.X[2], 10.0f + 2.0f / 3.0f);
    EXPECT_EQ(r.data.X[3], 20.0f);
    EXPECT_EQ(r.data.Y[3], 4.0f);
    EXPECT_EQ(r.data.dimensions, 4);
}

TEST(Table, ThreeColumnsWithXInOneAndYInThree) {
    Reader r;
    ASSERT_TRUE(r.table("1 99 2\nbad\n3 99 4\n", 5));
    EXPECT_EQ(r.messages(), " Reading 3 column data with x in 1 and y in 3.\n Format error in data file at line    1\n"
                            "    2 points loaded from data file.\n");
    EXPECT_EQ(r.data.count, 2);
    EXPECT_EQ(r.data.Y[1], 4.0f);
    EXPECT_EQ(r.data.dimensions, 5);
}

TEST(Table, WideRecordsTakeXYAndTheLastAsError) {
    // Code 6: X, Y, Y1, Y2, Y3, delY; the extra Y columns are passed over.
    Reader r;
    ASSERT_TRUE(r.table("1 2 7 7 7 0.5\n3 4 7 7\n7 0.25\n", 6));
    EXPECT_EQ(r.data.count, 2);
    EXPECT_EQ(r.data.X[1], 3.0f);
    EXPECT_EQ(r.data.Y[1], 4.0f);
    EXPECT_EQ(r.data.SIGMA[0], 0.5f);
    EXPECT_EQ(r.data.SIGMA[1], 0.25f);
    EXPECT_EQ(r.data.dimensions, 3);
}

TEST(Table, CapacityStopsBeforeARecordThatDoesNotFit) {
    std::string file;
    for (int i = 0; i < 1024; ++i) file += "1 2 3\n";
    Reader r;
    ASSERT_TRUE(r.table(file, 3));
    EXPECT_EQ(r.data.count, 1024);
    EXPECT_EQ(r.messages(), " Too many points in data file.\n\n 1024 points in data file.\n\n");
}

} // namespace
} // namespace tarva
