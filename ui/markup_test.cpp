#include "ui/markup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using DuiLib::CMarkup;

bool Parse(CMarkup* markup, const std::string& text) {
  return markup->Load(text.data(), text.size());
}

TEST(MarkupTest, AcceptsTheLenientFormsOfTheShippedLayouts) {
  const std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"standalone=\"yes\"?>\n"
      "<!-- layout -->\n"
      "<Window size=\"610,390\"caption='0,0,0,270'>\n"
      "  <Option name=\"btn_checkbox\" text=\"\" width=\"15\"height=\"15\" "
      "text=\"\xE6\x88\x91\"/>\n"
      "  <Label text=\"a&amp;b&lt;&#10;&#x4E2D;&unknown;\" ></Label >\n"
      "</Window>";
  CMarkup markup;
  ASSERT_TRUE(Parse(&markup, text)) << markup.GetLastError() << " at " << markup.GetErrorOffset();
  const DuiLib::MarkupNode* root = markup.Root();
  EXPECT_EQ("Window", root->name);
  ASSERT_NE(nullptr, root->Attribute("caption"));
  EXPECT_EQ("0,0,0,270", *root->Attribute("caption"));
  ASSERT_EQ(2u, root->children.size());
  const DuiLib::MarkupNode& option = *root->children[0];
  EXPECT_EQ(5u, option.attributes.size());  // both "text" kept, in order
  EXPECT_EQ("\xE6\x88\x91", *option.Attribute("text"));
  EXPECT_EQ("15", *option.Attribute("height"));
  EXPECT_EQ("a&b<\n\xE4\xB8\xAD&unknown;", *root->children[1]->Attribute("text"));
  EXPECT_EQ(nullptr, option.Attribute("missing"));
}

TEST(MarkupTest, MalformedMarkupFailsWithAnOffset) {
  // Each fault is named and placed where its construct starts (or, for a
  // value or a stray byte, where that is).
  struct Case {
    const char* text;
    const char* error;
    size_t offset;
  } cases[] = {
      {"", "no root element", 0},
      {"   ", "no root element", 3},
      {"<Window", "unterminated start tag", 0},
      {"<Window a=\"1>", "unterminated attribute value", 11},
      {"<Window a=1/>", "attribute value not quoted", 10},
      {"<Window a/>", "attribute without a value", 8},
      {"<Window></Wind>", "end tag does not match", 8},
      {"<Window><Button></Window>", "end tag does not match", 16},
      {"<Window/><Window/>", "second root element", 9},
      {"<Window/>text", "text outside the root element", 9},
      {"</Window>", "end tag does not match", 0},
      {"<!-- never closed", "unterminated comment", 0},
      {"<?xml never closed", "unterminated declaration", 0},
      {"<Window x=\"1\" / >", "stray '/' in start tag", 14},
      {"<>", "element without a name", 0},
      {"<![CDATA[x]]><a/>", "character data outside the root element", 0},
      {"<a><![CDATA[x]></a>", "unterminated character data", 3},
      {"<a><!DOCTYPE</a>", "element not closed", 16},
      {"<a></a  x>", "malformed end tag", 3},
      {"<a b='1'c></a>", "attribute without a value", 8},
  };
  for (const Case& c : cases) {
    CMarkup markup;
    EXPECT_FALSE(Parse(&markup, c.text)) << "input: " << c.text;
    EXPECT_EQ(nullptr, markup.Root()) << "input: " << c.text;
    EXPECT_FALSE(markup.GetLastError().empty()) << "input: " << c.text;
    EXPECT_EQ(c.error, markup.GetLastError()) << "input: " << c.text;
    EXPECT_EQ(c.offset, markup.GetErrorOffset()) << "input: " << c.text;
  }
  CMarkup markup;
  EXPECT_FALSE(markup.Load(nullptr, 4));
  EXPECT_EQ("no data", markup.GetLastError());
}

TEST(MarkupTest, AFailedLoadDropsTheEarlierTree) {
  CMarkup markup;
  ASSERT_TRUE(Parse(&markup, "<a><b/></a>"));
  ASSERT_NE(nullptr, markup.Root());
  EXPECT_FALSE(Parse(&markup, "<a>"));
  EXPECT_EQ(nullptr, markup.Root());
  ASSERT_TRUE(Parse(&markup, "<c x='1'/>"));
  EXPECT_EQ("c", markup.Root()->name);
  EXPECT_TRUE(markup.GetLastError().empty());
}

TEST(MarkupTest, DeepNestingIsRefusedNotOverflowed) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  CMarkup markup;
  EXPECT_FALSE(Parse(&markup, deep));

  std::string fine;
  for (int i = 0; i < CMarkup::kMaxDepth; ++i) fine += "<a>";
  for (int i = 0; i < CMarkup::kMaxDepth; ++i) fine += "</a>";
  EXPECT_TRUE(Parse(&markup, fine)) << markup.GetLastError();
}

TEST(MarkupTest, ReadsTheSkinLayouts) {
  const char* source = std::getenv("TN_SOURCE_DIR");
  ASSERT_NE(nullptr, source);
  for (const char* name : {"UIFont.xml", "UI_HomePage.xml", "UI_CustomInstall.xml",
                           "UI_Installing.xml", "UI_InstallSuccess.xml"}) {
    std::string path = std::string(source) + "/skin/" + name;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) continue;  // a layout not written yet
    std::string bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
    std::fclose(file);
    CMarkup markup;
    EXPECT_TRUE(Parse(&markup, bytes))
        << name << ": " << markup.GetLastError() << " at " << markup.GetErrorOffset();
    if (markup.Root()) {
      EXPECT_EQ("Window", markup.Root()->name) << name;
    }
  }
}

}  // namespace
