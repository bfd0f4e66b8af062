// eraserprep: the strip, the descriptor rewrite and its messages, and the
// eraser effect finding the masks by the rewritten descriptor's numbering.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/library.h"
#include "effects/colour/eraser_masks.h"
#include "platform/folder.h"
#include "platform/picture_file.h"
#include "tests/file_test_support.h"
#include "tests/test_frames.h"
#include "tools/eraserprep/eraserprep.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using eraserprep::FindParameter5Attribute;
using eraserprep::RewriteLine;

const char* const kDescriptor =
    "<?xml version=\"1.0\"?>\n"
    "<effect id=\"VXEraser\">\n"
    "  <parameter id=\"4\" name=\"Bottom Border\" max=\"30\" EnumString=\"keep\"/>\n"
    "  <parameter id=\"5\" name=\"Mask\" type=\"enum\" max=\"31\" default=\"0\" "
    "EnumString=\"All;0;1\"/>\n"
    "</effect>\n";

// A descriptor folder with its mask folder; Run() works inside the latter.
struct PrepFolder {
    TempFolder root{"vex-eraserprep"};
    fs::path masks = root.path / "VXEraser";
    PrepFolder() { fs::create_directory(masks); }

    std::string Run() {
        const fs::path saved = fs::current_path();
        const fs::path log = root.path / "out.txt";
        std::FILE* out = std::fopen(log.string().c_str(), "wb");
        fs::current_path(masks);
        eraserprep::Run(out);
        fs::current_path(saved);
        std::fclose(out);
        return ReadTextFile(log);
    }
    std::string Descriptor() const { return ReadTextFile(root.path / "VXEraser.xml"); }
    // The names in the folder listing's order, as both programs take them.
    std::vector<std::string> Listed() const { return ListMaskFiles(masks.string().c_str()); }
};

std::string Attribute(const std::string& text, const std::string& name) {
    const std::string line = text.substr(text.find("<parameter id=\"5\""));
    const size_t at = line.find(name + "=\"") + name.size() + 2;
    return line.substr(at, line.find('"', at) - at);
}

TEST(EraserPrepMatcher, SelectsTheTextTheGreedyPatternsSelect) {
    struct Case {
        const char* line;
        const char* maxGroup;  // nullptr: no match
    } cases[] = {
        {"<parameter id=\"5\" max=\"31\"/>\n", "31"},
        {"<parameter id=\"5\" max=\"1\" max=\"2\"/>\n", "2"},  // the last attribute
        {"<parameter id=\"4\" max=\"3\"/><parameter id=\"5\" max=\"9\"/>\n", "9"},
        // The last <parameter has no id="5" after it: the first one is taken,
        // and its greedy ".*" reaches the other parameter's max.
        {"<parameter id=\"5\" max=\"8\"/><parameter id=\"4\" max=\"7\"/>\n", "7"},
        {"<parameter id=\"5\" max=\"\" />", ""},
        {"<parameter id=\"5\" max=\"12", nullptr},       // no closing quote
        {"<parameter id=\"5\" max=\"1\" max=\"2", "1"},  // the last one that closes
        {"<parameter id=\"4\" max=\"3\"/>", nullptr},
        {"<parameter id=\"55\" max=\"3\"/>", nullptr},
        {"id=\"5\" <parameter max=\"3\"/>", nullptr},  // pieces out of order
        {"<parameter\n", nullptr},
        {"<Parameter id=\"5\" max=\"3\"/>", nullptr},  // case-sensitive
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        size_t begin = 0, end = 0;
        const bool found = FindParameter5Attribute(c.line, "max=\"", &begin, &end);
        ASSERT_EQ(found, c.maxGroup != nullptr);
        if (found) EXPECT_EQ(std::string(c.line).substr(begin, end - begin), c.maxGroup);
    }
    EXPECT_EQ(RewriteLine("  <parameter id=\"5\" max=\"31\" EnumString=\"All\"/>\r\n", "4",
                          "Square;a.bmp"),
              "  <parameter id=\"5\" max=\"4\" EnumString=\"Square;a.bmp\"/>\r\n");
    // The enumeration is looked for on the line as the first replacement left it.
    EXPECT_EQ(RewriteLine("<parameter id=\"5\" EnumString=\"x\" max=\"2\"/>", "7", "Square"),
              "<parameter id=\"5\" EnumString=\"Square\" max=\"7\"/>");
}

TEST(EraserPrep, EmptyFolderGivesAWhiteCellAndTheSquareAlone) {
    PrepFolder f;
    WriteTextFile(f.root.path / "VXEraser.xml", kDescriptor);
    EXPECT_EQ(f.Run(), "found 0 images\n");
    platform::PictureFile strip;
    ASSERT_TRUE(strip.Load((f.root.path / "VXEraserMask.bmp").string().c_str()));
    ASSERT_EQ(strip.Width(), 46);
    ASSERT_EQ(strip.Height(), 35);
    for (int y = 0; y < 35; ++y)
        for (int x = 0; x < 46; ++x)
            ASSERT_EQ(strip.Pixel(x, y), 0xFFFFFFu);
    const std::string d = f.Descriptor();
    EXPECT_EQ(Attribute(d, "max"), "1");
    EXPECT_EQ(Attribute(d, "EnumString"), "Square");
    // Parameter 4's attributes stay; tmp.xml is left with the new text.
    EXPECT_NE(d.find("id=\"4\" name=\"Bottom Border\" max=\"30\" EnumString=\"keep\""),
              std::string::npos);
    EXPECT_EQ(ReadTextFile(f.masks / "tmp.xml"), d);
}

TEST(EraserPrep, ThreePicturesSkippingFoldersTmpXmlAndOtherCase) {
    PrepFolder f;
    WriteTextFile(f.root.path / "VXEraser.xml", kDescriptor);
    WriteFlatBmp(f.masks / "a.bmp", 92, 70, 255, 0, 0);
    fs::copy_file("pictures/blocks.jpg", f.masks / "b.jpg");
    fs::copy_file("pictures/colours.png", f.masks / "d.png");
    fs::create_directory(f.masks / "x.png");
    WriteTextFile(f.masks / "tmp.xml", "old");
    WriteFlatBmp(f.masks / "upper.BMP", 4, 4, 1, 2, 3);
    const std::vector<std::string> names = f.Listed();
    ASSERT_EQ(names.size(), 3u);

    std::string expected = "found 3 images\n";
    for (const std::string& n : names)
        expected += " preparing image " + n + "\n";
    EXPECT_EQ(f.Run(), expected);
    const std::string d = f.Descriptor();
    EXPECT_EQ(Attribute(d, "max"), "4");
    EXPECT_EQ(Attribute(d, "EnumString"), "Square;" + names[0] + ";" + names[1] + ";" + names[2]);

    platform::PictureFile strip;
    ASSERT_TRUE(strip.Load((f.root.path / "VXEraserMask.bmp").string().c_str()));
    ASSERT_EQ(strip.Width(), 184);
    ASSERT_EQ(strip.Height(), 35);
    for (size_t k = 1; k <= 3; ++k) {
        const int x0 = int(46 * k);
        if (names[k - 1] == "a.bmp") {
            // Halved in both directions: AND of equal colours is the colour.
            EXPECT_EQ(strip.Pixel(x0, 0), 0x0000FFu);
            EXPECT_EQ(strip.Pixel(x0 + 45, 34), 0x0000FFu);
        } else if (names[k - 1] == "d.png") {
            // Enlarged: cell pixel (cx, cy) repeats picture pixel (cx*13/46, cy*7/35).
            platform::PictureFile source;
            ASSERT_TRUE(source.Load("pictures/colours.png"));
            for (int cy = 0; cy < 35; cy += 3)
                for (int cx = 0; cx < 46; cx += 5)
                    ASSERT_EQ(strip.Pixel(x0 + cx, cy), source.Pixel(cx * 13 / 46, cy * 7 / 35));
        }
    }
    // Running again gives the same descriptor.
    f.Run();
    EXPECT_EQ(f.Descriptor(), d);
}

TEST(EraserPrep, StretchCombinesEliminatedPixelsByAnd) {
    // 92 x 70 onto 46 x 35: each cell pixel is the AND of a 2 x 2 block.
    struct Checker {
        static uint32_t Read(void*, int32_t x, int32_t y) {
            return (x + y) % 2 ? 0x0F0F0Fu : 0xFFFF00u;
        }
    };
    eraserprep::Strip s = eraserprep::NewStrip(1);
    eraserprep::StretchIntoCell(s, 46, nullptr, Checker::Read, 92, 70);
    const uint8_t* p = s.At(46 + 7, 9);
    EXPECT_EQ(p[0], 0x0F);  // blue, green: 0x0F & 0xFF
    EXPECT_EQ(p[1], 0x0F);
    EXPECT_EQ(p[2], 0x00);  // red: 0x0F & 0x00
    EXPECT_EQ(s.At(0, 0)[0], 0xFF);  // cell 0 white
    // A 1 x 1 picture fills the whole cell.
    eraserprep::StretchIntoCell(s, 46, nullptr, Checker::Read, 1, 1);
    EXPECT_EQ(s.At(46 + 45, 34)[2], 0x00);
    EXPECT_EQ(s.At(46 + 45, 34)[0], 0xFF);
}

TEST(EraserPrep, AttributesOnSeparateLinesAreNotRewritten) {
    PrepFolder f;
    const std::string split =
        "<parameter id=\"5\" name=\"Mask\"\n"
        "    max=\"31\"\n"
        "    EnumString=\"All\"/>\n"
        "<parameter id=\"5\" max=\"2\" EnumString=\"x\"/>\n";
    WriteTextFile(f.root.path / "VXEraser.xml", split);
    WriteFlatBmp(f.masks / "m.gif.bmp", 3, 3, 9, 9, 9);
    EXPECT_EQ(f.Run(), "found 1 images\n preparing image m.gif.bmp\n");
    EXPECT_EQ(f.Descriptor(),
              "<parameter id=\"5\" name=\"Mask\"\n"
              "    max=\"31\"\n"
              "    EnumString=\"All\"/>\n"
              "<parameter id=\"5\" max=\"2\" EnumString=\"Square;m.gif.bmp\"/>\n");
}

TEST(EraserPrep, MissingDescriptorStillWritesTheStrip) {
    PrepFolder f;
    WriteFlatBmp(f.masks / "a.bmp", 3, 3, 9, 9, 9);
    EXPECT_EQ(f.Run(),
              "found 1 images\n preparing image a.bmp\n"
              "ERROR: cannot open file ..\\VXEraser.xml for reading!");
    EXPECT_TRUE(fs::exists(f.root.path / "VXEraserMask.bmp"));
    EXPECT_FALSE(fs::exists(f.root.path / "VXEraser.xml"));
}

TEST(EraserPrep, LongNamesAndLongLinesAreKeptWhole) {
    PrepFolder f;
    const std::string comment = "<!-- " + std::string(1500, 'c') + " -->\n";
    WriteTextFile(f.root.path / "VXEraser.xml", comment + kDescriptor + comment);
    for (int i = 0; i < 24; ++i) {
        char name[96];
        std::snprintf(name, sizeof name, "mask-%02d-%s.png", i, std::string(40, 'n').c_str());
        fs::copy_file("pictures/palette.png", f.masks / name);
    }
    const std::vector<std::string> names = f.Listed();
    f.Run();
    std::string enumeration = "Square";
    for (const std::string& n : names)
        enumeration += ";" + n;
    ASSERT_GT(enumeration.size(), 1000u);
    const std::string d = f.Descriptor();
    EXPECT_EQ(Attribute(d, "EnumString"), enumeration);
    EXPECT_EQ(Attribute(d, "max"), "25");
    EXPECT_EQ(d.substr(0, comment.size()), comment);
    EXPECT_EQ(d.substr(d.size() - comment.size()), comment);
}

TEST(EraserPrep, EffectLoadsTheKthEntryOfTheRewrittenDescriptor) {
    PrepFolder f;
    WriteTextFile(f.root.path / "VXEraser.xml", kDescriptor);
    const uint8_t greys[] = {255, 0, 102, 204};
    for (uint8_t g : greys)
        WriteFlatBmp(f.masks / ("grey" + std::to_string(g) + ".bmp"), 4, 4, g, g, g);
    f.Run();
    std::string entries = Attribute(f.Descriptor(), "EnumString") + ";";
    std::vector<std::string> choice;
    for (size_t at; (at = entries.find(';')) != std::string::npos; entries.erase(0, at + 1))
        choice.push_back(entries.substr(0, at));
    ASSERT_EQ(choice.size(), 5u);

    char saved[kDescriptorFolderSize];
    std::memcpy(saved, DescriptorFolder, sizeof saved);
    std::snprintf(DescriptorFolder, sizeof DescriptorFolder, "%s\\", f.root.path.string().c_str());
    host::EffectLibrary library = host::EffectLibrary::Linked();
    for (size_t k = 1; k < choice.size(); ++k) {
        SCOPED_TRACE(choice[k]);
        test::EffectRun run(library, "VXEraser");
        run.Set("Preview border", "false").Set("Mask", std::to_string(k - 1));
        run.Set("Left Border", "10").Set("Top Border", "10").Set("Width", "80");
        run.Set("Bottom Border", "80");
        host::Frame frame(host::FrameFormat{40, 30, 24});
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool logo = x >= 4 && x < 36 && y >= 3 && y < 27;
                std::memset(frame.Row(y) + 3 * x, logo ? 0 : 200, 3);
            }
        run.Render(frame);
        // The centre becomes 200 x the mask's weight grey / 255.
        const int grey = std::stoi(choice[k].substr(4));
        EXPECT_EQ(frame.Row(15)[3 * 20], int(200 * (3 * grey / 765.0)));
    }
    std::memcpy(DescriptorFolder, saved, sizeof saved);
}

}  // namespace
}  // namespace vx
