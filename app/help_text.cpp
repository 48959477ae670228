// The Help box text, kept as the two parts it is written in.
#include "app/help_text.h"

namespace {

const char* const kHelpFirstPart =
    "PELLOMAR is an easy-to-use tool for\n"
    "anybody who enjoys watching videos.\n"
    "\n"
    "PELLOMAR is made up of three sections:\n"
    "The top third of the form is comprised\n"
    "of the Query, or Selection Criteria, panel.\n"
    "Here you narrow down the videos you want to\n"
    "view by optionally selecting an individual\n"
    "actor/actress and/or an individual director\n"
    "and/or a span of years in which you are\n"
    "interested and/or whether you would like\n"
    "to filter out videos with particular ratings.\n"
    "Once you have entered or selected the criteria\n"
    "in which you are interested, select the \"Search\"\n"
    "button.\n"
    "\n"
    "At that point the middle third of the form will\n"
    "be populated with the data matching the criteria\n"
    "you selected. ";

const char* const kHelpSecondPart =
    "Click on any of the column titles in\n"
    "the grid to sort by that column. The first click\n"
    "sorts in ascending order; clicking again sorts\n"
    "in the opposite direction.\n"
    "\n"
    "The bottom third of the form contains both\n"
    "static and dynamic elements. The left half\n"
    "contains detailed information about the current\n"
    "video (the one highlighted in the grid). To be\n"
    "specific, it will display the director(s) and\n"
    "cast member(s) of the movie. At the right, you\n"
    "can rate the movie yourself (from 0 to 5 stars).\n"
    "To do so, simply click the appropriate star\n"
    "(if you give a video 4 stars, for instance, click\n"
    "the fourth star). You can also enter any type of\n"
    "comments you would like in the area at the\n"
    "bottom right of the form.";

}  // namespace

std::string HelpText() { return std::string(kHelpFirstPart) + kHelpSecondPart; }
