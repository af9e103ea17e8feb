#ifndef MEASUREMENTEDITORS_H
#define MEASUREMENTEDITORS_H

#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

#include "core/vector3.h"

class QGridLayout;
class QLineEdit;

// The form of one kind of measurement: a grid of group label, axis label and field. Every field
// is free text (a number or an expression over the machine-volume variables) except the probe
// offset, which is read back as numbers.
class TMeasurementEditor : public QWidget
{
  Q_OBJECT

public:
  QString Name() const;
  // The name a new measurement of this kind starts from ("Laser 1").
  QString Default_Name() const { return d_default_name; }
  void Set_Name(const QString& text);
  void Enable_Name(bool enabled);

  // Texts that are not numbers read as 0.
  TVector3 Probe_Offset() const;
  // Each component with 4 decimals.
  void Set_Probe_Offset(const TVector3& offset);

  // The field whose text the library file keeps under element (see Measurement_Fields); null
  // for an element that the kind does not have.
  QLineEdit* Field_Edit(const char* element) const;

signals:
  // The user edited a field other than the name.
  void Data_Changed();

protected:
  // Starts the form with the name row.
  TMeasurementEditor(const QString& default_name, QWidget* parent, Qt::WindowFlags flags);

  // One row: group label (empty on the Y and Z rows of a triple), axis label, field.
  QLineEdit* Add_Field(const QString& group, const QString& axis, const QString& text);
  // Three rows under one group label, the axes named by axis_names; fields returned in edits.
  void Add_Vector_Fields(const QString& group, const QString& x, const QString& y, const QString& z,
                         QLineEdit* edits[3], const char* axis_names = "XYZ");
  // The probe offset rows and the spacer that closes the form.
  void Finish_Form();
  // Names an expression field after its element in the library file, so that the dialog copies
  // it through the measurement field table.
  void Name_Field(const char* element, QLineEdit* edit);
  void Name_Fields(const char* x, const char* y, const char* z, QLineEdit* const edits[3]);

private:
  QGridLayout* d_layout;
  int d_row = 0;
  QLineEdit* d_name_edit;
  QString d_default_name;
  QLineEdit* d_probe_offset_edits[3];
  std::vector<std::pair<const char*, QLineEdit*>> d_named_fields;
};

class TEditor_Ballbar : public TMeasurementEditor
{
  Q_OBJECT

public:
  explicit TEditor_Ballbar(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  QString Length() const;
  QString Position_X() const;
  QString Position_Y() const;
  QString Position_Z() const;
  QString Direction_I() const;
  QString Direction_J() const;
  QString Direction_K() const;

  void Set_Length(const QString& text);
  void Set_Position_X(const QString& text);
  void Set_Position_Y(const QString& text);
  void Set_Position_Z(const QString& text);
  void Set_Direction_I(const QString& text);
  void Set_Direction_J(const QString& text);
  void Set_Direction_K(const QString& text);

private:
  QLineEdit* d_length_edit;
  QLineEdit* d_position_edits[3];
  QLineEdit* d_direction_edits[3];
};

// Shared by the two kinds measured along a line.
class TLineEditor : public TMeasurementEditor
{
  Q_OBJECT

public:
  QString Start_Position_X() const;
  QString Start_Position_Y() const;
  QString Start_Position_Z() const;
  QString End_Position_X() const;
  QString End_Position_Y() const;
  QString End_Position_Z() const;

  void Set_Start_Position_X(const QString& text);
  void Set_Start_Position_Y(const QString& text);
  void Set_Start_Position_Z(const QString& text);
  void Set_End_Position_X(const QString& text);
  void Set_End_Position_Y(const QString& text);
  void Set_End_Position_Z(const QString& text);

protected:
  using TMeasurementEditor::TMeasurementEditor;

  // The start and end rows with their default texts.
  void Add_Line_Fields(const QString& start_y, const QString& start_z, const QString& end_y, const QString& end_z);

private:
  QLineEdit* d_start_edits[3];
  QLineEdit* d_end_edits[3];
};

class TEditor_ISO : public TLineEditor
{
  Q_OBJECT

public:
  explicit TEditor_ISO(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
};

class TEditor_Laser : public TLineEditor
{
  Q_OBJECT

public:
  explicit TEditor_Laser(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  QString Increment() const;
  void Set_Increment(const QString& text);

private:
  QLineEdit* d_increment_edit;
};

class TEditor_MCG : public TMeasurementEditor
{
  Q_OBJECT

public:
  explicit TEditor_MCG(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  QString Length() const;
  QString Position_X() const;
  QString Position_Y() const;
  QString Position_Z() const;
  QString Start_Elevation() const;
  QString End_Elevation() const;
  QString Elevation_Count() const;
  QString Azimuth_Count() const;

  void Set_Length(const QString& text);
  void Set_Position_X(const QString& text);
  void Set_Position_Y(const QString& text);
  void Set_Position_Z(const QString& text);
  void Set_Start_Elevation(const QString& text);
  void Set_End_Elevation(const QString& text);
  void Set_Elevation_Count(const QString& text);
  void Set_Azimuth_Count(const QString& text);

private:
  QLineEdit* d_length_edit;
  QLineEdit* d_position_edits[3];
  QLineEdit* d_start_elevation_edit;
  QLineEdit* d_end_elevation_edit;
  QLineEdit* d_elevation_count_edit;
  QLineEdit* d_azimuth_count_edit;
};

#endif
