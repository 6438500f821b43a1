#include "model/model.h"

void Model::clear()
{
    charts.clear();
    sharedPositions.clear();
    vertexColors.clear();
    coneSingularities.clear();
    sourceLayout = Chart();
}
