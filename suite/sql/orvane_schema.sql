-- Orvane suite database, version 5.01.00, for SQL Server.
--
-- Creates the tables of a suite database in the current database, the version rows, the key
-- counters and the procedure usp_syncNextNumber. Run it with sqlcmd on an empty database:
--   sqlcmd -S .\ORVANE -d Fire1 -i orvane_schema.sql
-- The embedded server builds the same tables itself (suite/schema.cpp).

SET ANSI_NULLS ON;
SET QUOTED_IDENTIFIER ON;
GO

-- ---------------------------------------------------------------- system tables

CREATE TABLE [dbo].[version] (
  [module] varchar(30) NOT NULL,
  [version] varchar(20) NULL
);

CREATE TABLE [dbo].[NextNumber] (
  [TableName] varchar(50) NOT NULL,
  [FieldName] varchar(50) NOT NULL,
  [NextNumber] int NOT NULL,
  CONSTRAINT [PK_NextNumber] PRIMARY KEY ([TableName], [FieldName])
);
GO

-- ---------------------------------------------------------------- lookup tables
-- Standard = 1 for rows delivered with the suite, 0 for rows added by users.

CREATE TABLE [dbo].[L_Category] (
  [CategoryCode] int NOT NULL CONSTRAINT [PK_L_Category] PRIMARY KEY,
  [Description] varchar(50) NULL,
  [Standard] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[L_Kind] (
  [KindCode] varchar(10) NOT NULL CONSTRAINT [PK_L_Kind] PRIMARY KEY,
  [Description] varchar(50) NULL,
  [CategoryCode] int NULL,
  [Standard] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[L_Agency] (
  [AgencyCode] varchar(10) NOT NULL CONSTRAINT [PK_L_Agency] PRIMARY KEY,
  [AgencyName] varchar(50) NULL,
  [Federal] bit NULL DEFAULT 0,
  [Standard] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[L_Status] (
  [StatusCode] int NOT NULL CONSTRAINT [PK_L_Status] PRIMARY KEY,
  [Description] varchar(30) NULL,
  [Available] bit NULL,
  [Standard] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[L_Position] (
  [PositionCode] varchar(10) NOT NULL CONSTRAINT [PK_L_Position] PRIMARY KEY,
  [Description] varchar(50) NULL,
  [Section] varchar(20) NULL,
  [Standard] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[L_Location] (
  [LocationCode] varchar(10) NOT NULL,
  [StateCode] char(2) NOT NULL,
  [Description] varchar(50) NULL,
  [Standard] bit NULL DEFAULT 0,
  CONSTRAINT [PK_L_Location] PRIMARY KEY ([LocationCode], [StateCode])
);

CREATE TABLE [dbo].[L_FreqType] (
  [FreqTypeID] int NOT NULL CONSTRAINT [PK_L_FreqType] PRIMARY KEY,
  [Description] varchar(30) NULL,
  [Standard] bit NULL DEFAULT 0
);
GO

-- ---------------------------------------------------------------- incidents

CREATE TABLE [dbo].[Incidents] (
  [IncidentID] int IDENTITY(1,1) NOT NULL CONSTRAINT [PK_Incidents] PRIMARY KEY,
  [IncidentNumber] varchar(20) NULL,
  [IncidentName] varchar(50) NULL,
  [StartDate] datetime NULL,
  [EndDate] datetime NULL,
  [IncidentType] varchar(20) NULL,
  [AgencyCode] varchar(10) NULL,
  [LocationCode] varchar(10) NULL,
  [StateCode] char(2) NULL,
  [Complexity] smallint NULL,
  [Latitude] float NULL,
  [Longitude] float NULL,
  [AdminName] varchar(50) NULL,
  [AdminAddr1] varchar(50) NULL,
  [AdminAddr2] varchar(50) NULL,
  [AdminCity] varchar(30) NULL,
  [AdminState] char(2) NULL,
  [AdminZip] varchar(10) NULL,
  [Closed] bit NULL DEFAULT 0,
  [Comments] varchar(255) NULL
);

CREATE TABLE [dbo].[AccountingCodes] (
  [AccountingCodeID] int NOT NULL CONSTRAINT [PK_AccountingCodes] PRIMARY KEY,
  [IncidentID] int NULL,
  [AccountingCode] varchar(20) NULL,
  [Description] varchar(50) NULL,
  [AgencyCode] varchar(10) NULL,
  [IncidentDefault] bit NULL DEFAULT 0,
  [StartDate] datetime NULL,
  [EndDate] datetime NULL
);

CREATE TABLE [dbo].[AdminOffice] (
  [AdminOfficeID] int NOT NULL CONSTRAINT [PK_AdminOffice] PRIMARY KEY,
  [Name] varchar(50) NULL,
  [Addr1] varchar(50) NULL,
  [Addr2] varchar(50) NULL,
  [City] varchar(30) NULL,
  [State] char(2) NULL,
  [Zip] varchar(10) NULL,
  [Phone] varchar(20) NULL
);

CREATE TABLE [dbo].[Contractor] (
  [ContractorID] int NOT NULL CONSTRAINT [PK_Contractor] PRIMARY KEY,
  [IncidentID] int NULL,
  [Name] varchar(50) NULL,
  [Addr1] varchar(50) NULL,
  [City] varchar(30) NULL,
  [State] char(2) NULL,
  [Zip] varchar(10) NULL,
  [Phone] varchar(20) NULL,
  [TaxID] varchar(20) NULL
);

CREATE TABLE [dbo].[Agreement] (
  [AgreementID] int NOT NULL CONSTRAINT [PK_Agreement] PRIMARY KEY,
  [ContractorID] int NULL,
  [AdminOfficeID] int NULL,
  [AgreementNumber] varchar(30) NULL,
  [StartDate] datetime NULL,
  [EndDate] datetime NULL,
  [DailyRate] money NULL
);

CREATE TABLE [dbo].[Shift] (
  [ShiftID] int NOT NULL CONSTRAINT [PK_Shift] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftName] varchar(30) NULL,
  [StartDate] datetime NULL,
  [EndDate] datetime NULL
);

CREATE TABLE [dbo].[MasterFrequency] (
  [ID] int NOT NULL CONSTRAINT [PK_MasterFrequency] PRIMARY KEY,
  [IncidentID] int NULL,
  [FreqTypeID] int NULL,
  [Channel] varchar(20) NULL,
  [RxFreq] varchar(15) NULL,
  [RxTone] varchar(10) NULL,
  [TxFreq] varchar(15) NULL,
  [TxTone] varchar(10) NULL,
  [Description] varchar(50) NULL
);
GO

-- ---------------------------------------------------------------- resources and people

CREATE TABLE [dbo].[Resources] (
  [ResourceID] int NOT NULL CONSTRAINT [PK_Resources] PRIMARY KEY,
  [IncidentID] int NULL,
  [RequestNumber] varchar(20) NULL,
  [OriginalOrderRequest] varchar(20) NULL,
  [ResourceName] varchar(50) NULL,
  [KindCode] varchar(10) NULL,
  [CategoryCode] int NULL,
  [AgencyCode] varchar(10) NULL,
  [StatusCode] int NULL,
  [AccountingCodeID] int NULL,
  [ContractorID] int NULL,
  [MobDate] datetime NULL,
  [CheckInDate] datetime NULL,
  [DemobDate] datetime NULL,
  [Quantity] smallint NULL,
  [DailyCost] money NULL,
  [Comments] varchar(255) NULL
);

CREATE TABLE [dbo].[Persons] (
  [PersonID] int NOT NULL CONSTRAINT [PK_Persons] PRIMARY KEY,
  [IncidentID] int NULL,
  [ResourceID] int NULL,
  [LeaderID] int NULL,
  [Leader] bit NULL DEFAULT 0,
  [RequestNumber] varchar(20) NULL,
  [LastName] varchar(30) NULL,
  [FirstName] varchar(30) NULL,
  [MiddleInitial] char(1) NULL,
  [KindCode] varchar(10) NULL,
  [PositionCode] varchar(10) NULL,
  [AgencyCode] varchar(10) NULL,
  [HomeUnit] varchar(20) NULL,
  [Phone] varchar(20) NULL,
  [Email] varchar(60) NULL,
  [Gender] char(1) NULL,
  [Weight] smallint NULL,
  [CheckInDate] datetime NULL,
  [Comments] varchar(255) NULL
);

CREATE TABLE [dbo].[PersonsPost] (
  [PersonsPostID] int NOT NULL CONSTRAINT [PK_PersonsPost] PRIMARY KEY,
  [PersonID] int NULL,
  [IncidentID] int NULL,
  [ResourceID] int NULL,
  [ShiftID] int NULL,
  [KindCode] varchar(10) NULL,
  [PositionCode] varchar(10) NULL,
  [PostDate] datetime NULL,
  [Hours] real NULL
);

-- No key: the merge removes repeated rows and writes them back without naming the columns,
-- so the four columns stay in this order.
CREATE TABLE [dbo].[Quals] (
  [PersonID] int NULL,
  [KindCode] varchar(10) NULL,
  [ResourceID] int NULL,
  [Trainee] bit NULL
);

CREATE TABLE [dbo].[Projection] (
  [ProjectionID] int NOT NULL CONSTRAINT [PK_Projection] PRIMARY KEY,
  [IncidentID] int NULL,
  [KindCode] varchar(10) NULL,
  [ProjectionDate] datetime NULL,
  [Quantity] int NULL,
  [Comments] varchar(255) NULL
);

CREATE TABLE [dbo].[QuickStats] (
  [QuickStatID] int NOT NULL CONSTRAINT [PK_QuickStats] PRIMARY KEY,
  [IncidentID] int NULL,
  [KindCode] varchar(10) NULL,
  [StatDate] datetime NULL,
  [Assigned] int NULL,
  [Available] int NULL,
  [OutOfService] int NULL
);

CREATE TABLE [dbo].[ReportRecords] (
  [ReportRecordID] int NOT NULL CONSTRAINT [PK_ReportRecords] PRIMARY KEY,
  [IncidentID] int NULL,
  [ResourceID] int NULL,
  [KindCode] varchar(10) NULL,
  [ReportName] varchar(50) NULL,
  [ReportDate] datetime NULL,
  [Printed] bit NULL DEFAULT 0
);
GO

-- ---------------------------------------------------------------- forms of the action plan

CREATE TABLE [dbo].[ICS202] (
  [FormID] int NOT NULL CONSTRAINT [PK_ICS202] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftID] int NULL,
  [PreparedBy] varchar(50) NULL,
  [PreparedDate] datetime NULL,
  [Objectives] varchar(1000) NULL,
  [WeatherAttached] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[ICS203] (
  [FormID] int NOT NULL CONSTRAINT [PK_ICS203] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftID] int NULL,
  [PreparedBy] varchar(50) NULL,
  [PreparedDate] datetime NULL
);

CREATE TABLE [dbo].[203_Assignments] (
  [ID] int NOT NULL CONSTRAINT [PK_203_Assignments] PRIMARY KEY,
  [FormID] int NULL,
  [PositionCode] varchar(10) NULL,
  [PersonID] int NULL,
  [Name] varchar(60) NULL,
  [AgencyCode] varchar(10) NULL
);

CREATE TABLE [dbo].[203_Template] (
  [TemplateID] int NOT NULL CONSTRAINT [PK_203_Template] PRIMARY KEY,
  [TemplateName] varchar(50) NULL,
  [PositionCode] varchar(10) NULL,
  [Sequence] smallint NULL
);

CREATE TABLE [dbo].[ICS204] (
  [FormID] int NOT NULL CONSTRAINT [PK_ICS204] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftID] int NULL,
  [PreparedBy] varchar(50) NULL,
  [PreparedDate] datetime NULL,
  [Branch] varchar(20) NULL,
  [Division] varchar(20) NULL,
  [WorkAssignment] varchar(1000) NULL,
  [SpecialInstructions] varchar(1000) NULL
);

CREATE TABLE [dbo].[204_Com] (
  [ID] int NOT NULL CONSTRAINT [PK_204_Com] PRIMARY KEY,
  [FormID] int NULL,
  [FunctionName] varchar(30) NULL,
  [FrequencyID] int NULL,
  [System] varchar(30) NULL,
  [Channel] varchar(20) NULL
);

CREATE TABLE [dbo].[204_Resources] (
  [ResourcesID] int NOT NULL CONSTRAINT [PK_204_Resources] PRIMARY KEY,
  [FormID] int NULL,
  [ResourceID] int NULL,
  [LeaderName] varchar(60) NULL,
  [NumberPersons] smallint NULL,
  [Transport] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[204_Template] (
  [TemplateID] int NOT NULL CONSTRAINT [PK_204_Template] PRIMARY KEY,
  [TemplateName] varchar(50) NULL,
  [WorkAssignment] varchar(1000) NULL
);

CREATE TABLE [dbo].[ICS205] (
  [FormID] int NOT NULL CONSTRAINT [PK_ICS205] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftID] int NULL,
  [PreparedBy] varchar(50) NULL,
  [PreparedDate] datetime NULL
);

CREATE TABLE [dbo].[205_Channels] (
  [ID] int NOT NULL CONSTRAINT [PK_205_Channels] PRIMARY KEY,
  [FormID] int NULL,
  [FrequencyID] int NULL,
  [FreqTypeID] int NULL,
  [Assignment] varchar(50) NULL,
  [Remarks] varchar(100) NULL
);

CREATE TABLE [dbo].[ICS206] (
  [FormID] int NOT NULL CONSTRAINT [PK_ICS206] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftID] int NULL,
  [PreparedBy] varchar(50) NULL,
  [PreparedDate] datetime NULL,
  [ProceduresText] varchar(1000) NULL
);

CREATE TABLE [dbo].[206_Medical] (
  [ID] int NOT NULL CONSTRAINT [PK_206_Medical] PRIMARY KEY,
  [FormID] int NULL,
  [FacilityName] varchar(50) NULL,
  [Address] varchar(100) NULL,
  [Phone] varchar(20) NULL,
  [Paramedics] bit NULL DEFAULT 0,
  [Helipad] bit NULL DEFAULT 0
);

CREATE TABLE [dbo].[ICS220] (
  [FormID] int NOT NULL CONSTRAINT [PK_ICS220] PRIMARY KEY,
  [IncidentID] int NULL,
  [ShiftID] int NULL,
  [PreparedBy] varchar(50) NULL,
  [PreparedDate] datetime NULL,
  [Sunrise] varchar(10) NULL,
  [Sunset] varchar(10) NULL
);

CREATE TABLE [dbo].[220_Helicopters] (
  [HelicoptersID] int NOT NULL CONSTRAINT [PK_220_Helicopters] PRIMARY KEY,
  [FormID] int NULL,
  [ResourceID] int NULL,
  [FaaNumber] varchar(10) NULL,
  [Location] varchar(50) NULL,
  [Remarks] varchar(100) NULL
);

CREATE TABLE [dbo].[220_PersFreq] (
  [PersFreqID] int NOT NULL CONSTRAINT [PK_220_PersFreq] PRIMARY KEY,
  [FormID] int NULL,
  [PersonID] int NULL,
  [Position] varchar(30) NULL,
  [FrequencyID] int NULL
);

CREATE TABLE [dbo].[220_Task] (
  [TaskID] int NOT NULL CONSTRAINT [PK_220_Task] PRIMARY KEY,
  [FormID] int NULL,
  [TaskName] varchar(50) NULL,
  [ResourceID] int NULL,
  [StartTime] datetime NULL
);

CREATE TABLE [dbo].[UserLog] (
  [LogID] int IDENTITY(1,1) NOT NULL CONSTRAINT [PK_UserLog] PRIMARY KEY,
  [UserName] varchar(30) NULL,
  [LogDate] datetime NULL,
  [Action] varchar(100) NULL
);
GO

-- ---------------------------------------------------------------- indexes

CREATE INDEX [IX_AccountingCodes_IncidentID] ON [dbo].[AccountingCodes] ([IncidentID]);
CREATE INDEX [IX_Resources_IncidentID] ON [dbo].[Resources] ([IncidentID]);
CREATE INDEX [IX_Persons_IncidentID] ON [dbo].[Persons] ([IncidentID]);
CREATE INDEX [IX_Persons_ResourceID] ON [dbo].[Persons] ([ResourceID]);
CREATE INDEX [IX_PersonsPost_PersonID] ON [dbo].[PersonsPost] ([PersonID]);
CREATE INDEX [IX_PersonsPost_IncidentID] ON [dbo].[PersonsPost] ([IncidentID]);
CREATE INDEX [IX_Quals_ResourceID_KindCode] ON [dbo].[Quals] ([ResourceID], [KindCode]);
CREATE INDEX [IX_Quals_PersonID] ON [dbo].[Quals] ([PersonID]);
CREATE INDEX [IX_ReportRecords_IncidentID] ON [dbo].[ReportRecords] ([IncidentID]);
CREATE INDEX [IX_Projection_IncidentID] ON [dbo].[Projection] ([IncidentID]);
CREATE INDEX [IX_QuickStats_IncidentID] ON [dbo].[QuickStats] ([IncidentID]);
GO

-- ---------------------------------------------------------------- rows every database has

INSERT INTO [dbo].[version] ([module], [version]) VALUES ('DATABASE', '5.01.00');
INSERT INTO [dbo].[version] ([module], [version]) VALUES ('MERGEVERSION', '5.01.00');

INSERT INTO [dbo].[NextNumber] ([TableName], [FieldName], [NextNumber])
SELECT t.TableName, t.FieldName, 1
FROM (VALUES ('AccountingCodes', 'AccountingCodeID'), ('AdminOffice', 'AdminOfficeID'),
             ('Contractor', 'ContractorID'), ('Agreement', 'AgreementID'),
             ('Shift', 'ShiftID'), ('MasterFrequency', 'ID'), ('Resources', 'ResourceID'),
             ('Persons', 'PersonID'), ('PersonsPost', 'PersonsPostID'),
             ('Projection', 'ProjectionID'), ('QuickStats', 'QuickStatID'),
             ('ReportRecords', 'ReportRecordID'), ('ICS202', 'FormID'), ('ICS203', 'FormID'),
             ('203_Assignments', 'ID'), ('203_Template', 'TemplateID'), ('ICS204', 'FormID'),
             ('204_Com', 'ID'), ('204_Resources', 'ResourcesID'),
             ('204_Template', 'TemplateID'), ('ICS205', 'FormID'), ('205_Channels', 'ID'),
             ('ICS206', 'FormID'), ('206_Medical', 'ID'), ('ICS220', 'FormID'),
             ('220_Helicopters', 'HelicoptersID'), ('220_PersFreq', 'PersFreqID'),
             ('220_Task', 'TaskID')) AS t (TableName, FieldName);
GO

-- ---------------------------------------------------------------- usp_syncNextNumber
-- Moves every counter of NextNumber past the largest value of its field, so that the next
-- key handed out is free after rows were copied in with their own keys (a merge does this).
-- A counter that is already past the largest value keeps its value.

CREATE PROCEDURE [dbo].[usp_syncNextNumber]
AS
BEGIN
  SET NOCOUNT ON;
  DECLARE @table sysname, @field sysname, @sql nvarchar(max);
  DECLARE counters CURSOR LOCAL FAST_FORWARD FOR
    SELECT [TableName], [FieldName] FROM [dbo].[NextNumber];
  OPEN counters;
  FETCH NEXT FROM counters INTO @table, @field;
  WHILE @@FETCH_STATUS = 0
  BEGIN
    SET @sql = N'UPDATE [dbo].[NextNumber] SET [NextNumber] = m.Largest + 1'
             + N' FROM (SELECT ISNULL(MAX(' + QUOTENAME(@field) + N'), 0) AS Largest'
             + N' FROM [dbo].' + QUOTENAME(@table) + N') AS m'
             + N' WHERE [TableName] = @t AND [FieldName] = @f AND [NextNumber] <= m.Largest';
    EXEC sp_executesql @sql, N'@t sysname, @f sysname', @t = @table, @f = @field;
    FETCH NEXT FROM counters INTO @table, @field;
  END
  CLOSE counters;
  DEALLOCATE counters;
END
GO
