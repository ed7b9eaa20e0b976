// The shapes as design-file text.
#include "geometry/SpecctraShapes.h"

#include "specctra/SpecctraWriter.h"

namespace {

// "%g" with 15 significant digits: whole numbers print as plain integers.
std::string G(double value) {
    return GeneralNumberText(value);
}

} // namespace

bool TSpecctraAbstractGeometryShape::ExportToFile() {
    return true;
}

bool TSpecctraRectShape::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("", true);
    Writer->Writeln("(rect " + LayerID + " " + G(BoardToFileX(RoundToBoard(Left()))) + " " +
                        G(BoardToFileY(RoundToBoard(Bottom()))) + " " +
                        G(BoardToFileX(RoundToBoard(Right()))) + " " +
                        G(BoardToFileY(RoundToBoard(Top()))) + ")",
                    false);
    return true;
}

bool TSpecctraCircleShape::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("", true);
    Writer->Indent(1);
    Writer->Writeln("(circle " + LayerID + " " + G(BoardToFile(FDiameter)) + " " +
                        G(BoardToFileX(RoundToBoard(Coordinates[0].X))) + " " +
                        G(BoardToFileY(RoundToBoard(Coordinates[0].Y))) + ")",
                    true);
    Writer->UnIndent(1);
    return true;
}

bool TSpecctraQArcShape::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Writeln("(qarc " + LayerID + " " + G(BoardToFile(FApertureWidth)) + " ", true);
    Writer->Indent(1);
    std::string line;
    for (int i = 0; i < 3; ++i)
        line += G(BoardToFileX(RoundToBoard(Coordinates[i].X))) + " " +
                G(BoardToFileY(RoundToBoard(Coordinates[i].Y))) + " ";
    Writer->Writeln(line, true);
    Writer->UnIndent(1);
    Writer->Writeln(")", true);
    return true;
}

bool TSpecctraPolyLineShape::ExportToFile() {
    if (!Writer)
        return false;
    // Written piece by piece: a routed board has a million of these.
    Writer->PutPlain("(path ");
    Writer->Put(LayerID);
    Writer->PutPlain(" ");
    Writer->PutNumber(BoardToFile(FApertureWidth));
    Writer->EndLine();
    for (const TVertex& v : Coordinates)
        Writer->PointLine(BoardToFileX(RoundToBoard(v.X)), BoardToFileY(RoundToBoard(v.Y)));
    if (FApertureType == eSquareAperture)
        Writer->Writeln("(aperture_type square)", true);
    Writer->Writeln(")", true);
    return true;
}

bool TSpecctraFilledPolyShape::ExportToFile() {
    if (!Writer)
        return false;
    Writer->Write("(polygon ", true);
    Writer->Indent(1);
    Writer->Writeln(LayerID + " " + G(BoardToFile(FApertureWidth)), false);
    Writer->Indent(1);
    for (const TVertex& v : Coordinates)
        Writer->Writeln(
            G(BoardToFileX(RoundToBoard(v.X))) + " " + G(BoardToFileY(RoundToBoard(v.Y))), true);
    Writer->UnIndent(1);
    if (FApertureType == eSquareAperture)
        Writer->Writeln("(aperture_type square)", true);
    Writer->UnIndent(1);
    Writer->Write(")", true);
    return true;
}

bool TSpecctraCombinedShape::ExportToFile() {
    for (int32_t i = 0; i < ShapeCount(); ++i)
        if (!Shape(i)->ExportToFile())
            break;
    for (int32_t i = 0; i < WindowCount(); ++i) {
        Writer->Writeln("(window ", true);
        Writer->Indent(1);
        Window(i)->ExportToFile();
        Writer->UnIndent(1);
        Writer->Writeln(")", true);
    }
    return true;
}
