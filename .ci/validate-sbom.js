// Validates a CycloneDX 1.5 JSON document against the CycloneDX 1.5 JSON
// schema as @cyclonedx/cyclonedx-library ships it (offline, strict: no
// property the schema does not know). Exit 0 when valid, 1 with the errors.
//   node validate-sbom.js BOM.json   (with the library in NODE_PATH)
const CDX = require('@cyclonedx/cyclonedx-library');
const fs = require('fs');

const validator = new CDX.Validation.JsonStrictValidator('1.5');  // the library's name for version 1.5
validator.validate(fs.readFileSync(process.argv[2], 'utf8')).then(
  (errors) => {
    if (errors !== null) {
      console.log(JSON.stringify(errors, null, 1));
      process.exit(1);
    }
  },
  (failure) => {
    console.log('cannot validate: ' + failure);
    process.exit(2);
  });
